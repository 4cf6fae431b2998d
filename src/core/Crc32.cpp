#include "core/Crc32.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t v = i;
    for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
    table[i] = v;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t TextCRC32(std::u16string_view text) {
  std::uint32_t crc = 0;
  for (const char16_t u : text) crc = (crc >> 8) ^ kTable[(crc ^ (u & 0xFFu)) & 0xFFu];
  return crc;
}
