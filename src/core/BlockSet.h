#pragma once
// A sorted set of numbers below 0xFFFFFFFF. A sparse set is one sorted list (four bytes a
// member); once it holds several members per span of 16,384 numbers it is kept in chunks of
// that span instead: a chunk holds the sorted low parts of its members while they are few and a
// bitmap once that is no larger, so a member costs at most two bytes beside its chunk and an
// insert or erase in a chunk moves at most 2 KB.
#include <cstddef>
#include <cstdint>
#include <vector>

class BlockSet {
 public:
  static constexpr std::uint32_t kChunkBits = 14;
  static constexpr std::uint32_t kChunkSpan = 1u << kChunkBits;
  // A chunk turns into a bitmap above this many members and back into a list at half of it.
  static constexpr std::uint32_t kListMax = kChunkSpan / 16;
  static constexpr std::uint32_t kBitmapWords = kChunkSpan / 16;
  // The sparse list turns into chunks when it holds this many members per span it covers
  // (and at least kSparseMin): a chunk costs more than a few members of the list.
  static constexpr std::size_t kSparsePerSpan = 8;
  static constexpr std::size_t kSparseMin = 64;

  struct Chunk {
    std::uint32_t high = 0;
    std::uint16_t count = 0;
    bool bitmap = false;
    std::vector<std::uint16_t> data;  // sorted low parts, or kBitmapWords words of 16 bits

    bool Contains(std::uint16_t low) const;
  };

  void Insert(std::uint32_t n) {
    // Names of one block arrive together: most inserts repeat the one before.
    if (n == recent_) return;
    InsertNew(n);
    recent_ = n;
  }
  void Erase(std::uint32_t n);
  // Ask for the memory an Insert or Erase of n reads: first the chunk, then (once the chunk is
  // in) its data. Changes touch many sets at once; fetching for all of them before changing
  // any overlaps their cache misses.
  void PrefetchChunk(std::uint32_t n) const {
    if ((n >> kChunkBits) < chunks_.size()) __builtin_prefetch(&chunks_[n >> kChunkBits]);
    else if (!sparse_.empty()) __builtin_prefetch(&sparse_[sparse_.size() / 2]);
  }
  void PrefetchData(std::uint32_t n) const;
  bool Contains(std::uint32_t n) const;
  bool Empty() const { return count_ == 0; }
  std::size_t Count() const { return count_; }
  // A sparse set's members are in Sparse(), a chunked set's in Chunks(); the other is empty.
  bool IsSparse() const { return chunks_.empty(); }
  const std::vector<std::uint32_t>& Sparse() const { return sparse_; }
  const std::vector<Chunk>& Chunks() const { return chunks_; }
  // The chunk holding numbers with this high part, or null.
  const Chunk* FindChunk(std::uint32_t high) const;
  void Clear();

  std::size_t MemoryBytes() const;
  void ShrinkToFit();

 private:
  std::vector<Chunk>::iterator ChunkAt(std::uint32_t high);
  void InsertNew(std::uint32_t n);
  // Whether n was new to its chunk.
  bool InsertInChunks(std::uint32_t n);

  std::vector<std::uint32_t> sparse_;  // ascending
  std::vector<Chunk> chunks_;          // by high part, ascending
  std::size_t count_ = 0;
  static constexpr std::uint32_t kNoNumber = 0xFFFFFFFFu;
  std::uint32_t recent_ = kNoNumber;  // the last inserted, while still a member
};
