#pragma once
// The drives the service serves when it is given no folders: every local fixed drive, those
// that come after start included. Each letter is a root of its own, served while it names a
// fixed drive, so a drive that comes, goes or comes back is found by its root's watcher.
#include <string>
#include <vector>

// "A:\" to "Z:\".
std::vector<std::wstring> DriveRoots();
// Whether the drive root ("C:\") is a local fixed drive now. It asks the drive's type only,
// never its medium.
bool IsFixedDrive(const std::wstring& root);
