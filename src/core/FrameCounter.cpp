#include "core/FrameCounter.h"

#include <algorithm>
#include <cstring>

bool FrameCounter::Feed(const std::uint8_t* bytes, std::size_t size) {
  while (size > 0 && !broken_) {
    if (field_ == Field::Id || field_ == Field::Data) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(skip_, static_cast<std::int64_t>(size)));
      skip_ -= static_cast<std::int64_t>(n);
      bytes += n;
      size -= n;
      if (skip_ > 0) break;
      if (field_ == Field::Id) {
        field_ = Field::DataSize;
      } else {
        field_ = Field::IdLength;
        ++completed_;
      }
      continue;
    }
    const std::size_t n = std::min(size, kFrameFieldSize - fieldHave_);
    std::memcpy(fieldBytes_ + fieldHave_, bytes, n);
    fieldHave_ += n;
    bytes += n;
    size -= n;
    if (fieldHave_ == kFrameFieldSize) FieldDone();
  }
  return !broken_;
}

void FrameCounter::FieldDone() {
  fieldHave_ = 0;
  const std::int64_t value = DecodeFrameSize(fieldBytes_);
  if (field_ == Field::IdLength) {
    if (value == kFrameEndMarker || !IsValidFrameIdLength(value)) {
      broken_ = true;
      return;
    }
    skip_ = value;
    field_ = value > 0 ? Field::Id : Field::DataSize;
    return;
  }
  if (!IsValidFrameDataSize(value)) {
    broken_ = true;
    return;
  }
  skip_ = value;
  if (value > 0) {
    field_ = Field::Data;
  } else {
    field_ = Field::IdLength;
    ++completed_;
  }
}

std::size_t FrameCounter::TakeCompleted() {
  const std::size_t n = completed_;
  completed_ = 0;
  return n;
}
