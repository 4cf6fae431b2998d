#include "core/ElevatedArguments.h"

#include "core/TextUtils.h"

bool IsElevationMarker(std::u16string_view argument) {
  if (argument.empty() || (argument[0] != u'/' && argument[0] != u'-')) return false;
  return SameIgnoringAsciiCase(argument.substr(1), kElevationMarker);
}

bool HasElevationMarker(const std::vector<std::u16string>& arguments) {
  for (const auto& a : arguments)
    if (IsElevationMarker(a)) return true;
  return false;
}

std::u16string JoinElevatedArguments(const std::vector<std::u16string>& arguments) {
  std::u16string out;
  for (const auto& a : arguments) {
    if (IsElevationMarker(a)) continue;
    if (a.find(u' ') == std::u16string::npos) {
      out += a;
    } else {
      out += u'"';
      for (char16_t c : a) {
        if (c == u'"') out += u'"';
        out += c;
      }
      out += u'"';
    }
    out += u' ';
  }
  return Trim(out);
}

bool IsAbsoluteWindowsPath(std::u16string_view path) {
  auto isSlash = [](char16_t c) { return c == u'\\' || c == u'/'; };
  if (path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
      path[1] == u':' && isSlash(path[2]))
    return true;
  // \\server\share: both names present.
  if (path.size() < 5 || !isSlash(path[0]) || !isSlash(path[1]) || isSlash(path[2])) return false;
  const std::size_t shareAt = path.find_first_of(u"\\/", 2);
  return shareAt != std::u16string_view::npos && shareAt + 1 < path.size() && !isSlash(path[shareAt + 1]);
}
