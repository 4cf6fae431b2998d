#pragma once
// Reads typed pieces off the front of a fuzzer's input; past the end everything is zero or
// empty, so a target never needs to check the length itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Remaining() const { return size_ - pos_; }

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  template <typename T>
  T Value() {
    T v{};
    const std::size_t n = std::min(sizeof v, Remaining());
    if (n > 0) std::memcpy(&v, data_ + pos_, n);
    pos_ += n;
    return v;
  }

  std::string_view Bytes(std::size_t n) {
    n = std::min(n, Remaining());
    const std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }

  // UTF-16 text of up to n code units (two bytes each, little-endian).
  std::u16string Text16(std::size_t n) {
    n = std::min(n, Remaining() / 2);
    std::u16string s(n, u'\0');
    if (n > 0) std::memcpy(s.data(), data_ + pos_, n * 2);
    pos_ += n * 2;
    return s;
  }

  // Text16 of a length taken from the next byte.
  std::u16string ShortText16() { return Text16(Byte() % 24); }

  std::string_view Rest() { return Bytes(Remaining()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A failed property: print what differs and abort so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                           \
  do {                                                                             \
    if (!(cond)) {                                                                 \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)
