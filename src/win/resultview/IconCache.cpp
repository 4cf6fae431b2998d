#include "win/resultview/IconCache.h"

#include <shellapi.h>

#include <unordered_map>

#include "core/ResultPath.h"
#include "core/TextUtils.h"
#include "win/common/WideText.h"

namespace {

std::u16string Extension(const std::u16string& path) {
  const std::u16string_view name = FileNamePart(path);
  const std::size_t dot = name.rfind(u'.');
  return LowerAscii(dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot));
}

// Kinds of file whose icon comes from the file itself or from what it points to.
bool OwnIconExtension(const std::u16string& extension) {
  static const char16_t* const kOwn[] = {u".exe", u".lnk", u".ico", u".cur", u".ani", u".url",
                                         u".scr", u".cpl", u".msc", u".pif", u".appref-ms"};
  for (const char16_t* own : kOwn)
    if (extension == own) return true;
  return false;
}

int AskShellAboutKind(const std::u16string& path, DWORD attributes) {
  SHFILEINFOW info{};
  const std::wstring name = W(FileNamePart(path));
  if (::SHGetFileInfoW(name.c_str(), attributes, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES) != 0)
    return info.iIcon;
  return -1;
}

int AskShell(const std::u16string& path, DWORD attributes) {
  SHFILEINFOW info{};
  if (path.size() < kClassicMaxPath &&
      ::SHGetFileInfoW(W(path).c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX) != 0) {
    return info.iIcon;
  }
  // The shell's file information stops at the classic path length: a long path gets the
  // icon of its kind.
  return AskShellAboutKind(path, attributes);
}

// Kinds are keyed by extension; folders by a text no extension looks like.
std::u16string KindKey(const std::u16string& path, DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? u"\\" : Extension(path);
}

int Cached(std::unordered_map<std::u16string, int>& byKind, const std::u16string& path, DWORD attributes,
           int (*ask)(const std::u16string&, DWORD)) {
  std::u16string kind = KindKey(path, attributes);
  if (const auto it = byKind.find(kind); it != byKind.end()) return it->second;
  const int index = ask(path, attributes);
  if (index >= 0) byKind.emplace(std::move(kind), index);
  return index;
}

}  // namespace

bool HasOwnIcon(const std::u16string& path, DWORD attributes) {
  // A folder customised through desktop.ini is marked read-only or system.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) != 0;
  return OwnIconExtension(Extension(path));
}

int ItemIconIndex(const std::u16string& path, DWORD attributes) {
  static std::unordered_map<std::u16string, int> byKind;
  if (HasOwnIcon(path, attributes)) return AskShell(path, attributes);
  return Cached(byKind, path, attributes, AskShell);
}

int KindIconIndex(const std::u16string& path, DWORD attributes) {
  static std::unordered_map<std::u16string, int> byKind;
  return Cached(byKind, path, attributes, AskShellAboutKind);
}
