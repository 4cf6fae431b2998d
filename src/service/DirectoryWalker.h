#pragma once
// Walks a folder tree with FindFirstFileExW. Reparse points (junctions, links) are listed but
// never entered, the start folder included, so a walk never loops or leaves the tree it was
// given.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

// Called for each entry below the start folder: its parent folder's path (no trailing
// backslash except for a drive root), its name and whether it is a folder. Return false to
// skip entering that folder (ignored for files).
using WalkVisitor = std::function<bool(const std::wstring& parent, const std::wstring& name, bool isFolder)>;

// Returns false when stopped by the flag. Folders that cannot be listed are skipped.
bool WalkDirectory(const std::wstring& start, const WalkVisitor& visit, const std::atomic<bool>* stop = nullptr);

// parent + "\" + name, without doubling the backslash of a drive root.
std::wstring JoinPath(const std::wstring& parent, const std::wstring& name);
