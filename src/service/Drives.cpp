#include "service/Drives.h"

#include <windows.h>

std::vector<std::wstring> DriveRoots() {
  std::vector<std::wstring> roots;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) roots.push_back(std::wstring(1, letter) + L":\\");
  return roots;
}

// Not GetLogicalDrives: under Wine its mask keeps the drives of the start, while the drive's
// type follows a drive that came or went.
bool IsFixedDrive(const std::wstring& root) { return ::GetDriveTypeW(root.c_str()) == DRIVE_FIXED; }
