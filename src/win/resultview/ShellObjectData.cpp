#include "win/resultview/ShellObjectData.h"

#include <shellapi.h>

#include "core/DateTime.h"
#include "core/ResultPath.h"
#include "win/common/WideText.h"

namespace {

double LocalDateTime(const FILETIME& utc) {
  SYSTEMTIME st{}, local{};
  // The time zone rules of the file's own date, as Explorer shows it.
  if (!::FileTimeToSystemTime(&utc, &st) || !::SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return 0;
  return EncodeDateTime({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                         local.wMilliseconds});
}

int IconIndex(const std::u16string& path, DWORD attributes) {
  SHFILEINFOW info{};
  if (path.size() < kClassicMaxPath &&
      ::SHGetFileInfoW(W(path).c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX) != 0) {
    return info.iIcon;
  }
  // The shell's file information stops at the classic path length: a long path gets the
  // icon of its kind (folder, or file by extension).
  const std::wstring name = W(FileNamePart(path));
  if (::SHGetFileInfoW(name.c_str(), attributes, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES) !=
      0) {
    return info.iIcon;
  }
  return -1;
}

}  // namespace

DWORD ResultPathAttributes(const std::u16string& path) {
  if (!IsAcceptableResultPath(path)) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(W(ExtendedLengthPath(path)).c_str());
}

TShellObjectData MakeShellObjectData(const std::u16string& path, const std::u16string& match, DWORD attributes) {
  TShellObjectData d;
  d.FullPath = path;
  d.FileName = std::u16string(FileNamePart(path));
  d.FileDir = std::u16string(FileDirPart(path));
  d.Match = match;
  d.Attributes = attributes;
  d.ImageIndex = IconIndex(path, attributes);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  // A path that vanished since its attributes were read keeps time and size 0.
  if (::GetFileAttributesExW(W(ExtendedLengthPath(path)).c_str(), GetFileExInfoStandard, &data)) {
    d.ModifyTime = LocalDateTime(data.ftLastWriteTime);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      d.FileSize = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                             data.nFileSizeLow);
  }
  return d;
}

std::wstring FormatModifyTime(double value) {
  if (value == 0) return {};
  const TDateTimeParts p = DecodeDateTime(value);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.Year);
  st.wMonth = static_cast<WORD>(p.Month);
  st.wDay = static_cast<WORD>(p.Day);
  st.wHour = static_cast<WORD>(p.Hour);
  st.wMinute = static_cast<WORD>(p.Minute);
  st.wSecond = static_cast<WORD>(p.Second);
  st.wMilliseconds = static_cast<WORD>(p.Millisecond);
  wchar_t date[128] = L"", time[128] = L"";
  if (::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128) == 0) return {};
  if (IsMidnight(value) || ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128) == 0) return date;
  return std::wstring(date) + L" " + time;
}
