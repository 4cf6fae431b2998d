#include "core/Frame.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the frame layout is little-endian");

std::array<std::uint8_t, kFrameFieldSize> EncodeFrameSize(std::int64_t value) {
  std::array<std::uint8_t, kFrameFieldSize> bytes{};
  std::memcpy(bytes.data(), &value, bytes.size());
  return bytes;
}

std::int64_t DecodeFrameSize(const std::uint8_t* bytes) {
  std::int64_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

std::vector<std::uint8_t> EncodeFrameId(std::u16string_view id) {
  const std::size_t idBytes = id.size() * 2;
  std::vector<std::uint8_t> out(kFrameFieldSize + idBytes);
  const auto length = EncodeFrameSize(static_cast<std::int64_t>(idBytes));
  std::memcpy(out.data(), length.data(), length.size());
  if (idBytes > 0) std::memcpy(out.data() + kFrameFieldSize, id.data(), idBytes);
  return out;
}

std::u16string DecodeFrameId(const std::uint8_t* bytes, std::size_t length) {
  std::u16string id(length / 2, u'\0');
  if (!id.empty()) std::memcpy(id.data(), bytes, id.size() * 2);
  return id;
}

bool IsValidFrameIdLength(std::int64_t length) {
  return length >= 0 && length <= kMaxFrameIdLength && length % 2 == 0;
}

bool IsValidFrameDataSize(std::int64_t size) { return size >= 0 && size <= kMaxFrameDataSize; }
