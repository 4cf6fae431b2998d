#pragma once
// The shell's own context menu for files and folders: shown at a screen point, the chosen
// command carried out by the shell, and its canonical verb ("open", "delete", ...) reported.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// What the caller does itself instead of the shell.
struct TShellMenuOptions {
  bool AllowPaste = true;    // false: "paste" is only reported
  bool CanRename = false;    // offer the shell's rename command (it is only ever reported)
  bool CallerOpens = false;  // "open" is only reported: the caller runs the items itself
};

// Shows the menu for names (each relative to parentPath, or full paths when parentPath is
// empty). Names the shell cannot parse (for example vanished files) are left out; with none
// left, or when parentPath cannot be bound, nothing is shown. verb receives the chosen
// command's verb in lower case, or stays as it was when no menu could be built; it is empty
// when the menu was dismissed.
void ShowShellContextMenu(HWND ownerWnd, POINT point, const std::wstring& parentPath,
                          const std::vector<std::wstring>& names, std::wstring& verb,
                          const TShellMenuOptions& options = {});

// Shows the menu for count identifiers relative to folder and lets the shell carry out the
// chosen command, except "rename" (always only reported), "paste" unless allowed and "open"
// when the caller opens. verb is set as for ShowShellContextMenu.
void TrackShellContextMenu(HWND ownerWnd, POINT point, IShellFolder* folder, UINT count, LPCITEMIDLIST* pidls,
                           std::wstring& verb, const TShellMenuOptions& options = {});
