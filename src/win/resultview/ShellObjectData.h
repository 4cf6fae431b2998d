#pragma once
// The data of one result row: what the list shows of one found file or folder.
#include <windows.h>

#include <cstdint>
#include <string>

struct TShellObjectData {
  std::u16string FileName;  // name part of the path
  std::u16string FullPath;  // the path as the search service delivered it
  std::u16string FileDir;   // folder part, without trailing backslash (a drive root keeps it)
  std::u16string Match;     // the text to box in FileName; may be empty
  double ModifyTime = 0;    // local last-write time, days since 30 December 1899; 0 = unknown
  std::int64_t FileSize = 0;
  std::uint32_t Attributes = 0;  // as GetFileAttributesW gives them
  std::int32_t ImageIndex = -1;  // in the system image list; -1 = none

  bool IsFolder() const { return (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// Reads what the list shows of an existing path whose attributes were just read: icon,
// local last-write time and size. Paths of any length are read (long ones with the
// extended-length prefix); what cannot be read stays 0 (time, size) or -1 (icon).
TShellObjectData MakeShellObjectData(const std::u16string& path, const std::u16string& match, DWORD attributes);

// The attributes of an acceptable result path (see IsAcceptableResultPath), read at any
// length; INVALID_FILE_ATTRIBUTES for a path that is not acceptable or does not exist.
DWORD ResultPathAttributes(const std::u16string& path);

// The user's short date, a space and the long time; the time is left out at exactly
// midnight. Empty for 0 (time unknown).
std::wstring FormatModifyTime(double value);
