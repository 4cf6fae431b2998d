#include "core/ResultPath.h"

#include "core/TextFold.h"

namespace {

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool StartsWith(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// Length of the extended-length prefix the path starts with, 0 when none.
std::size_t ExtendedPrefixLength(std::u16string_view path) {
  if (StartsWith(path, u"\\\\?\\UNC\\")) return 8;
  if (StartsWith(path, u"\\\\?\\")) return 4;
  return 0;
}

bool IsDriveRooted(std::u16string_view s) {
  return s.size() >= 3 && IsDriveLetter(s[0]) && s[1] == u':' && s[2] == u'\\';
}

}  // namespace

bool IsAcceptableResultPath(std::u16string_view path) {
  if (path.empty() || path.size() > kMaxResultPathChars) return false;
  const std::size_t prefix = ExtendedPrefixLength(path);
  std::u16string_view rest = path.substr(prefix);
  bool drive = false;
  if (prefix == 8) {
    drive = false;  // "\\?\UNC\server\share\..."
    if (rest.empty() || rest[0] == u'\\') return false;
  } else if (prefix == 4) {
    if (!IsDriveRooted(rest)) return false;
    drive = true;
  } else if (IsDriveRooted(rest)) {
    drive = true;
  } else if (StartsWith(rest, u"\\\\")) {
    rest.remove_prefix(2);  // a UNC path: the server name follows; "\\.\" names devices
    if (rest.empty() || rest[0] == u'\\' || StartsWith(rest, u".\\")) return false;
  } else {
    return false;  // relative, drive-relative ("C:x") or rooted without a drive
  }
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char16_t c = rest[i];
    if (c < 0x20) return false;
    switch (c) {
      case u'<':
      case u'>':
      case u'"':
      case u'|':
      case u'?':
      case u'*':
        return false;
      case u':':
        if (!(drive && i == 1)) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

std::u16string ExtendedLengthPath(std::u16string_view path) {
  if (path.size() < kClassicMaxPath || ExtendedPrefixLength(path) != 0) return std::u16string(path);
  if (StartsWith(path, u"\\\\")) return u"\\\\?\\UNC\\" + std::u16string(path.substr(2));
  return u"\\\\?\\" + std::u16string(path);
}

std::u16string_view FileNamePart(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view FileDirPart(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u'\\');
  if (slash == std::u16string_view::npos) return {};
  if (slash > 0 && path[slash - 1] == u':') return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::u16string NameRelativeToFolder(std::u16string_view name, std::u16string_view folder) {
  if (folder.empty() || name.size() < folder.size()) return std::u16string(name);
  if (FoldLower(name.substr(0, folder.size())) != FoldLower(folder)) return std::u16string(name);
  return std::u16string(name.substr(folder.size()));
}
