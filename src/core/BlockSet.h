#pragma once
// A sorted set of numbers below 0xFFFFFFFF, kept in chunks of 65,536: a chunk holds the sorted low halves
// of its members while they are few and a bitmap once that is no larger, so a member costs at
// most two bytes and an insert or erase moves at most one chunk's 8 KB.
#include <cstddef>
#include <cstdint>
#include <vector>

class BlockSet {
 public:
  static constexpr std::uint32_t kChunkBits = 16;
  static constexpr std::uint32_t kChunkSpan = 1u << kChunkBits;
  // A chunk turns into a bitmap above this many members and back into a list at half of it.
  static constexpr std::uint32_t kListMax = kChunkSpan / 16;
  static constexpr std::uint32_t kBitmapWords = kChunkSpan / 16;

  struct Chunk {
    std::uint16_t high = 0;
    bool bitmap = false;
    std::uint32_t count = 0;
    std::vector<std::uint16_t> data;  // sorted low halves, or kBitmapWords words of 16 bits

    bool Contains(std::uint16_t low) const;
  };

  void Insert(std::uint32_t n) {
    // Names of one block arrive together: most inserts repeat the one before.
    if (n == recent_) return;
    InsertNew(n);
    recent_ = n;
  }
  void Erase(std::uint32_t n);
  bool Contains(std::uint32_t n) const;
  bool Empty() const { return count_ == 0; }
  std::size_t Count() const { return count_; }
  const std::vector<Chunk>& Chunks() const { return chunks_; }
  // The chunk holding numbers with this high half, or null.
  const Chunk* FindChunk(std::uint16_t high) const;
  void Clear();

  std::size_t MemoryBytes() const;
  void ShrinkToFit();

 private:
  std::vector<Chunk>::iterator ChunkAt(std::uint16_t high);
  void InsertNew(std::uint32_t n);

  std::vector<Chunk> chunks_;  // by high half, ascending
  std::size_t count_ = 0;
  static constexpr std::uint32_t kNoNumber = 0xFFFFFFFFu;
  std::uint32_t recent_ = kNoNumber;  // the last inserted, while still a member
};
