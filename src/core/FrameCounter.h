#pragma once
// Counts the whole frames of a byte stream that arrives in pieces of any size, keeping none of
// their bytes: for a sender that writes ahead and needs to know only how many of its messages
// have been answered. A length outside the caps, or the end marker (which only a client
// sends), breaks the stream for good.
#include <cstddef>
#include <cstdint>

#include "core/Frame.h"

class FrameCounter {
 public:
  // Takes the next bytes; false once the stream is broken.
  bool Feed(const std::uint8_t* bytes, std::size_t size);
  // Frames completed since the last call.
  std::size_t TakeCompleted();
  bool Broken() const { return broken_; }
  // Between two frames: no byte of an unfinished one has arrived.
  bool AtBoundary() const { return field_ == Field::IdLength && fieldHave_ == 0; }

 private:
  enum class Field { IdLength, Id, DataSize, Data };
  // A whole 8-byte field has arrived.
  void FieldDone();

  Field field_ = Field::IdLength;
  std::uint8_t fieldBytes_[kFrameFieldSize] = {};
  std::size_t fieldHave_ = 0;
  std::int64_t skip_ = 0;  // bytes of the ID or the data still to pass over
  std::size_t completed_ = 0;
  bool broken_ = false;
};
