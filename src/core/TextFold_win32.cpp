// Windows lower-casing for name matching: the system's own CharLowerBuffW, which maps each
// UTF-16 code unit in place and so keeps the length.
#include <windows.h>

#include <algorithm>

#include "core/TextFold.h"

std::u16string FoldLower(std::u16string_view s) {
  std::u16string out(s);
  // CharLowerBuffW takes a DWORD count; fold in chunks so a huge text cannot be truncated.
  constexpr std::size_t kChunk = 0x40000000;
  for (std::size_t at = 0; at < out.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, out.size() - at);
    CharLowerBuffW(reinterpret_cast<wchar_t*>(out.data() + at), static_cast<DWORD>(n));
  }
  return out;
}
