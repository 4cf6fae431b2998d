#pragma once
// Indices of item icons in the system image list. Asking the shell about each file is slow
// (it reads the file), while most files share the icon of their extension and most folders
// the plain folder icon; those are asked once per kind. Items that can carry an icon of their
// own (programs, shortcuts, icon files, customised folders) are always asked about.
// Main thread only.
#include <windows.h>

#include <string>

// The icon index of an existing path with the given attributes, or -1.
int ItemIconIndex(const std::u16string& path, DWORD attributes);

// Whether the item may carry an icon of its own, which only the shell reading the item
// itself can tell.
bool HasOwnIcon(const std::u16string& path, DWORD attributes);
// The icon its kind shows (folder, or file by extension) without reading the item; -1 when
// the shell knows none.
int KindIconIndex(const std::u16string& path, DWORD attributes);
