// The shell's icons and file facts the result list shows.
#include <windows.h>
#include <shellapi.h>

#include "core/Format.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {
// IID_IImageList, declared here because older SDK headers lack it.
constexpr GUID kIIDImageList = {
    0x46EB5926, 0x582E, 0x4017, {0x9F, 0xDF, 0xE8, 0x99, 0x8D, 0xAA, 0x09, 0x50}};
using SHGetImageListFn = HRESULT(WINAPI*)(int, REFIID, void**);
}  // namespace

HIMAGELIST GetSystemImageList(int imageSize) {
  const UniqueModule shell32(::LoadLibraryW(L"shell32.dll"));
  if (!shell32) return nullptr;
  const auto getImageList =
      reinterpret_cast<SHGetImageListFn>(::GetProcAddress(shell32.get(), MAKEINTRESOURCEA(727)));
  void* list = nullptr;
  if (!getImageList || FAILED(getImageList(imageSize, kIIDImageList, &list))) return nullptr;
  // The list belongs to the shell and outlives this library reference (shell32 stays loaded).
  return static_cast<HIMAGELIST>(list);
}

int GetFileIconIndex(const std::wstring& path, UINT flags) {
  SHFILEINFOW info{};
  if (::SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, flags) == 0) return -1;
  return info.iIcon;
}

std::int64_t GetFileSize64(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
  if (!find) return 0;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

std::wstring FormatFileSize(std::int64_t size) {
  wchar_t separator[8] = L".";
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) == 0)
    lstrcpyW(separator, L".");
  return W(FormatFileSize(size, U(separator)));
}
