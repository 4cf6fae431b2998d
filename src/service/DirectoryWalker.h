#pragma once
// Walks a folder tree with FindFirstFileExW. Reparse points (junctions, links) are listed but
// never entered, the start folder included, so a walk never loops or leaves the tree it was
// given. Paths go to the system with the "\\?\" prefix, so folders deeper than MAX_PATH are
// walked too; the paths handed out are plain.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Called for each entry below the start folder: its parent folder's path (no trailing
// backslash except for a drive root), its name and whether it is a folder. Return false to
// skip entering that folder (ignored for files).
using WalkVisitor = std::function<bool(const std::wstring& parent, const std::wstring& name, bool isFolder)>;

// Returns false when stopped by the flag. Folders that cannot be listed are skipped.
bool WalkDirectory(const std::wstring& start, const WalkVisitor& visit, const std::atomic<bool>* stop = nullptr);

struct DirectoryEntry {
  std::wstring name;
  bool isFolder;
  bool isReparsePoint;
};
// One folder's entries without "." and ".."; empty when it cannot be listed.
std::vector<DirectoryEntry> ListDirectory(const std::wstring& folder);

// Whether the path names a folder that the walk would enter (not a reparse point).
bool IsEnterableFolder(const std::wstring& path);

// parent + "\" + name, without doubling the backslash of a drive root.
std::wstring JoinPath(const std::wstring& parent, const std::wstring& name);

// A full local ("C:\...") or UNC ("\\server\share\...") path as the system takes it past
// MAX_PATH: with the "\\?\" (or "\\?\UNC\") prefix. Other paths come back unchanged.
std::wstring ExtendedPath(const std::wstring& path);
