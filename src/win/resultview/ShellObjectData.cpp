#include "win/resultview/ShellObjectData.h"

#include "core/DateTime.h"
#include "core/ResultPath.h"
#include "win/common/WideText.h"
#include "win/resultview/IconCache.h"

namespace {

double LocalDateTime(const FILETIME& utc) {
  SYSTEMTIME st{}, local{};
  // The time zone rules of the file's own date, as Explorer shows it.
  if (!::FileTimeToSystemTime(&utc, &st) || !::SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return 0;
  return EncodeDateTime({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                         local.wMilliseconds});
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
  d.OwnIconPending = HasOwnIcon(path, attributes);
  d.ImageIndex = d.OwnIconPending ? KindIconIndex(path, attributes) : ItemIconIndex(path, attributes);
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

void ResolveOwnIcon(TShellObjectData& data) {
  if (!data.OwnIconPending) return;
  data.OwnIconPending = false;
  const int own = ItemIconIndex(data.FullPath, data.Attributes);
  if (own >= 0) data.ImageIndex = own;
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
