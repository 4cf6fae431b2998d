#pragma once
// Text checksum used as the default hash of the keyed list: a reflected CRC-32 (polynomial
// 0xEDB88320, initial value 0, no final XOR) over the low byte of each UTF-16 code unit.
// It is not the zlib CRC-32 (that one starts at and ends with 0xFFFFFFFF).
#include <cstdint>
#include <string_view>

std::uint32_t TextCRC32(std::u16string_view text);
