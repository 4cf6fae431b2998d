#include "core/FileIndexText.h"

#include <algorithm>

#include "core/TextUtils.h"

// Names are mostly ASCII: that part is narrowed directly, the rest encoded.
void AppendWtf8(std::u16string_view s, std::string& out) {
  std::size_t ascii = 0;
  while (ascii < s.size() && s[ascii] < 0x80) ++ascii;
  const std::size_t at = out.size();
  out.resize(at + ascii);
  for (std::size_t i = 0; i < ascii; ++i) out[at + i] = static_cast<char>(s[i]);
  if (ascii < s.size()) AppendUtf8(s.substr(ascii), out, TSurrogates::Keep);
}

std::string ToWtf8(std::u16string_view s) { return Utf16ToUtf8(s, TSurrogates::Keep); }

std::u16string FromWtf8(std::string_view s) { return Utf8ToUtf16(s, TSurrogates::Keep); }

// Likewise for paths of answers, widened.
void AppendFromWtf8(std::string_view s, std::u16string& out) {
  std::size_t ascii = 0;
  while (ascii < s.size() && static_cast<unsigned char>(s[ascii]) < 0x80) ++ascii;
  const std::size_t at = out.size();
  out.resize(at + ascii);
  std::copy(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(ascii), out.begin() + static_cast<std::ptrdiff_t>(at));
  if (ascii < s.size()) AppendUtf16(s.substr(ascii), out, TSurrogates::Keep);
}
