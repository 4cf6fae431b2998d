#include "core/Format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/TextUtils.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::u16string WithSeparator(const char* ascii, std::u16string_view separator) {
  std::u16string out;
  for (const char* p = ascii; *p; ++p) {
    if (*p == '.')
      out += separator;
    else
      out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  }
  return out;
}

}  // namespace

std::string URLDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
    } else if (i + 2 >= text.size()) {
      throw EURLDecodeError("Error decoding URL style (%XX) encoded string at position " +
                            std::to_string(i + 1));
    } else {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0)
        throw EURLDecodeError("Invalid URL encoded character (" + std::string(text.substr(i, 3)) +
                              ") at position " + std::to_string(i + 1));
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
  }
  return out;
}

namespace {
// An exact half rounds up (1280 bytes is "1.3 KB") on every platform: C libraries differ on
// halves, some rounding them to even.
double RoundedTo(double value, double steps) { return std::floor(value * steps + 0.5) / steps; }
}  // namespace

std::u16string FormatFileSize(std::int64_t size, std::u16string_view decimalSeparator) {
  constexpr std::int64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024, kTB = kGB * 1024;
  char buf[64];
  const double d = static_cast<double>(size);
  if (size < kKB)
    std::snprintf(buf, sizeof buf, "%lld bytes", static_cast<long long>(size));
  else if (size < kMB)
    std::snprintf(buf, sizeof buf, "%.1f KB", RoundedTo(d / kKB, 10));
  else if (size < kGB)
    std::snprintf(buf, sizeof buf, "%.1f MB", RoundedTo(d / kMB, 10));
  else if (size < kTB)
    std::snprintf(buf, sizeof buf, "%.1f GB", RoundedTo(d / kGB, 10));
  else
    std::snprintf(buf, sizeof buf, "%.2f TB", RoundedTo(d / kTB, 100));
  return WithSeparator(buf, decimalSeparator);
}

std::u16string FileURLToPath(std::u16string_view url) {
  // A network location comes as file://server/share/...: keep it a UNC path.
  constexpr std::u16string_view kFileHost = u"file://";
  std::u16string path;
  if (const std::size_t slashes = url.find(u"///"); slashes != std::u16string_view::npos)
    path = url.substr(slashes + 3);
  else if (url.size() > kFileHost.size() &&
           LowerAscii(url.substr(0, kFileHost.size())) == kFileHost)
    path = u"//" + std::u16string(url.substr(kFileHost.size()));
  else
    path = url.substr(std::min<std::size_t>(2, url.size()));
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  if (path.empty() || path.back() != u'\\') path += u'\\';
  std::string utf8;
  for (const char c : Utf16ToUtf8(path)) {
    if (c == '+')
      utf8 += "%2B";
    else
      utf8 += c;
  }
  try {
    return Utf8ToUtf16(URLDecode(utf8));
  } catch (const EURLDecodeError&) {
    return path;
  }
}
