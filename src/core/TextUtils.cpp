#include "core/TextUtils.h"

#include <algorithm>

std::size_t LastPos(std::u16string_view sub, std::u16string_view s) {
  if (sub.empty() || sub.size() > s.size()) return 0;
  const std::size_t at = s.rfind(sub);
  return at == std::u16string_view::npos ? 0 : at + 1;
}

namespace {
char16_t LowerAsciiChar(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
}  // namespace

std::u16string LowerAscii(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r) c = LowerAsciiChar(c);
  return r;
}

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return LowerAsciiChar(x) == LowerAsciiChar(y); });
}

std::u16string Trim(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return std::u16string(s.substr(b, e - b));
}

std::u16string ExtractFileDrive(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') return std::u16string(path.substr(0, 2));
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    // Up to the separator that ends the share name.
    const std::size_t server = path.find(u'\\', 2);
    if (server == std::u16string_view::npos || server == 2) return {};
    const std::size_t share = path.find(u'\\', server + 1);
    return std::u16string(path.substr(0, share));
  }
  return {};
}

static int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::optional<std::int32_t> TryStrToInt(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < s.size() && s[i] == u'$') {
    hex = true;
    ++i;
  } else if (i < s.size() && (s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const int d = hex ? HexDigit(s[i]) : (s[i] >= u'0' && s[i] <= u'9' ? s[i] - u'0' : -1);
    if (d < 0) return std::nullopt;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (hex ? v > 0xFFFFFFFFull : v > 0x80000000ull) return std::nullopt;
  }
  if (hex) {
    const auto bits = static_cast<std::uint32_t>(v);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
  }
  if (!negative && v > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v));
}

namespace {
bool IsSurrogate(std::uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }
}  // namespace

std::u16string Utf8ToUtf16(std::string_view s, TSurrogates surrogates) {
  std::u16string out;
  out.reserve(s.size());
  AppendUtf16(s, out, surrogates);
  return out;
}

void AppendUtf16(std::string_view s, std::u16string& out, TSurrogates surrogates) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c >> 5) == 0x6) { cp = c & 0x1F; n = 2; }
    else if ((c >> 4) == 0xE) { cp = c & 0x0F; n = 3; }
    else if ((c >> 3) == 0x1E) { cp = c & 0x07; n = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    std::size_t k = 1;
    for (; k < n && i + k < s.size(); ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc >> 6) != 0x2) break;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (k < n) {
      // A sequence cut short: one replacement for what it holds; the byte that cut it (an
      // ASCII "\\" in a path, say) is read on its own.
      out.push_back(0xFFFD);
      i += k;
      continue;
    }
    // Only the shortest form is a character: overlong forms would smuggle in "/", "." or NUL.
    static constexpr std::uint32_t kMinOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinOfLength[n] || cp > 0x10FFFF || (IsSurrogate(cp) && surrogates == TSurrogates::Replace)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
}

void AppendUtf8(std::u16string_view s, std::string& out, TSurrogates surrogates) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (IsSurrogate(cp) && surrogates == TSurrogates::Replace) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {  // kept lone surrogates land here too
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

std::string Utf16ToUtf8(std::u16string_view s, TSurrogates surrogates) {
  std::string out;
  out.reserve(s.size());
  AppendUtf8(s, out, surrogates);
  return out;
}
