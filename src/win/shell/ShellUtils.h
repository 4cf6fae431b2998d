#pragma once
// Free helpers over the shell, windows, processes and volumes. Each call stands alone and
// holds no state; all may be called on any thread. Failures show only in the result.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

// The shell's system image list of the given SHIL_* size (shell32 ordinal 727), or null.
HIMAGELIST GetSystemImageList(int imageSize);
// Index in the system image list of the file's icon (flags: SHGFI_*), or -1.
int GetFileIconIndex(const std::wstring& path, UINT flags);
// Size of the first file or folder matching path, 0 when none does.
std::int64_t GetFileSize64(const std::wstring& path);
// File size as text with the user's locale decimal separator.
std::wstring FormatFileSize(std::int64_t size);

// Finds the shell window of an Explorer window through the automation object
// "Shell.Application" and reads its location name and folder path ("C:\dir\", empty for a
// virtual folder). False, with both outputs empty, when no shell window has that handle.
bool GetExplorerPath(HWND window, std::wstring& locationName, std::wstring& path);

// One window of the automation object's Windows collection: its handle and the executable
// of its process (FullName).
struct TShellWindow {
  HWND window;
  std::wstring fullName;
};
// Lists the shell windows "Shell.Application" knows (Explorer and browser windows alike).
// False when there is no such object or no collection; empty items are left out.
bool GetShellWindows(std::vector<TShellWindow>& windows);

// ShellExecute with the default verb; true when started.
bool RunProgram(const std::wstring& path);

// Follows a chain of window classes down from parent: classes[depth] among its children,
// then classes[depth + 1] under that, ...; a sibling of the right class is tried when the
// first one leads nowhere. found is the window of the last class, or null.
bool FindWindowByClassPath(HWND parent, HWND& found, const std::vector<std::wstring>& classes,
                           std::uint8_t depth = 0);
// The window's class name; empty when the window is gone.
std::wstring WindowClassName(HWND window);
// The window's class is className, ASCII case ignored.
bool HasWindowClass(HWND window, const std::wstring& className);
// The class path written as one text joined by "|".
std::vector<std::wstring> SplitClassPath(const std::wstring& joined);
// True when target lies anywhere below root (root itself does not count).
bool IsDescendantWindow(HWND target, HWND root);
// Brings the window to the foreground, overcoming the foreground lock; restore un-minimises.
bool ForceForegroundWindow(HWND window, bool restore);

// Display name of a CSIDL_* folder, or empty.
std::wstring GetSpecialFolderDisplayName(int csidl);
// True for the display names of Control Panel, Printers, Recycle Bin, Network, Network
// Connections and Computers Near Me (ASCII case ignored).
bool IsSpecialFolderName(const std::wstring& name);
// True when the drive ("C:" or "C:\"; empty for the current drive) has an NTFS file system.
// Never shows the system's "no disk" box.
bool IsNTFSVolume(const std::wstring& drive);

// Parent process id, or 0 when the process is not in the snapshot.
DWORD GetParentProcessID(DWORD processId);
// Exe file name (no folder) of the process, or empty.
std::wstring GetProcessExeName(DWORD processId);
// The process runs as the user this process runs as (false when that cannot be told).
bool RunsAsCurrentUser(DWORD processId);

// The native processor is 64-bit (AMD64 or IA64).
bool Is64Bit();
// VerifyVersionInfoW confirms at least 6.2 with service pack 0.0.
bool IsReallyWindows8OrGreater();
