#pragma once
// The frame one message travels in, the same in both directions (little-endian):
//   int64 ID length L (bytes) | ID (UTF-16LE) | int64 data size D | D data bytes
// A client ends its connection with the end marker where the next ID length would stand.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::int64_t kFrameEndMarker = -1;
inline constexpr std::size_t kFrameFieldSize = 8;
// Data moves in pieces of at most this size.
inline constexpr std::size_t kFrameChunkSize = 65536;
// Caps on what a peer may announce: a larger or negative size ends the connection instead of
// an allocation the peer controls.
inline constexpr std::int64_t kMaxFrameIdLength = 65536;
inline constexpr std::int64_t kMaxFrameDataSize = 64 * 1024 * 1024;

std::array<std::uint8_t, kFrameFieldSize> EncodeFrameSize(std::int64_t value);
std::int64_t DecodeFrameSize(const std::uint8_t* bytes);

// The ID length followed by the ID, sent in one write.
std::vector<std::uint8_t> EncodeFrameId(std::u16string_view id);
// An ID read from L bytes (L even, as checked by IsValidFrameIdLength).
std::u16string DecodeFrameId(const std::uint8_t* bytes, std::size_t length);

// 0..kMaxFrameIdLength and even. The end marker is not a valid length: check it first.
bool IsValidFrameIdLength(std::int64_t length);
// 0..kMaxFrameDataSize.
bool IsValidFrameDataSize(std::int64_t size);
