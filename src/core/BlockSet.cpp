#include "core/BlockSet.h"

#include <algorithm>
#include <bit>

namespace {
bool TestBit(const std::vector<std::uint16_t>& words, std::uint16_t low) { return (words[low >> 4] >> (low & 15)) & 1; }
}  // namespace

bool BlockSet::Chunk::Contains(std::uint16_t low) const {
  if (bitmap) return TestBit(data, low);
  return std::binary_search(data.begin(), data.end(), low);
}

std::vector<BlockSet::Chunk>::iterator BlockSet::ChunkAt(std::uint32_t high) {
  // A set with a member in every chunk, as a common trigram's, has chunk i at index i: that
  // guess saves a search through memory that is rarely in the cache.
  if (high < chunks_.size() && chunks_[high].high == high) return chunks_.begin() + high;
  return std::lower_bound(chunks_.begin(), chunks_.end(), high,
                          [](const Chunk& c, std::uint32_t h) { return c.high < h; });
}

const BlockSet::Chunk* BlockSet::FindChunk(std::uint32_t high) const {
  if (high < chunks_.size() && chunks_[high].high == high) return &chunks_[high];
  const auto it = std::lower_bound(chunks_.begin(), chunks_.end(), high,
                                   [](const Chunk& c, std::uint32_t h) { return c.high < h; });
  return it != chunks_.end() && it->high == high ? &*it : nullptr;
}

void BlockSet::InsertNew(std::uint32_t n) {
  if (chunks_.empty()) {
    const auto at = std::lower_bound(sparse_.begin(), sparse_.end(), n);
    if (at != sparse_.end() && *at == n) return;
    sparse_.insert(at, n);
    ++count_;
    const std::size_t spans = (sparse_.back() >> kChunkBits) - (sparse_.front() >> kChunkBits) + 1;
    if (sparse_.size() < kSparseMin || sparse_.size() < kSparsePerSpan * spans) return;
    for (std::uint32_t v : sparse_) InsertInChunks(v);
    sparse_.clear();
    sparse_.shrink_to_fit();
    return;
  }
  if (InsertInChunks(n)) ++count_;
}

bool BlockSet::InsertInChunks(std::uint32_t n) {
  const std::uint32_t high = n >> kChunkBits;
  const auto low = static_cast<std::uint16_t>(n & (kChunkSpan - 1));
  // Bulk loads add in ascending order: the last chunk, at its end.
  auto it = !chunks_.empty() && chunks_.back().high == high ? chunks_.end() - 1 : ChunkAt(high);
  if (it == chunks_.end() || it->high != high) {
    it = chunks_.insert(it, Chunk{});
    it->high = high;
  }
  Chunk& c = *it;
  if (c.bitmap) {
    std::uint16_t& word = c.data[low >> 4];
    const auto bit = static_cast<std::uint16_t>(1u << (low & 15));
    if (word & bit) return false;
    word |= bit;
  } else {
    if (!c.data.empty() && c.data.back() <= low) {
      if (c.data.back() == low) return false;
      c.data.push_back(low);
    } else {
      const auto at = std::lower_bound(c.data.begin(), c.data.end(), low);
      if (at != c.data.end() && *at == low) return false;
      c.data.insert(at, low);
    }
    if (c.data.size() > kListMax) {
      std::vector<std::uint16_t> words(kBitmapWords, 0);
      for (std::uint16_t v : c.data) words[v >> 4] |= static_cast<std::uint16_t>(1u << (v & 15));
      c.data = std::move(words);
      c.bitmap = true;
    }
  }
  ++c.count;
  return true;
}

void BlockSet::Erase(std::uint32_t n) {
  if (chunks_.empty()) {
    const auto at = std::lower_bound(sparse_.begin(), sparse_.end(), n);
    if (at == sparse_.end() || *at != n) return;
    sparse_.erase(at);
    --count_;
    if (n == recent_) recent_ = kNoNumber;
    return;
  }
  const std::uint32_t high = n >> kChunkBits;
  const auto low = static_cast<std::uint16_t>(n & (kChunkSpan - 1));
  const auto it = ChunkAt(high);
  if (it == chunks_.end() || it->high != high) return;
  if (n == recent_) recent_ = kNoNumber;
  Chunk& c = *it;
  if (c.bitmap) {
    std::uint16_t& word = c.data[low >> 4];
    const auto bit = static_cast<std::uint16_t>(1u << (low & 15));
    if (!(word & bit)) return;
    word &= static_cast<std::uint16_t>(~bit);
  } else {
    const auto at = std::lower_bound(c.data.begin(), c.data.end(), low);
    if (at == c.data.end() || *at != low) return;
    c.data.erase(at);
  }
  --c.count;
  --count_;
  if (c.count == 0) {
    chunks_.erase(it);
  } else if (c.bitmap && c.count <= kListMax / 2) {
    std::vector<std::uint16_t> list;
    list.reserve(c.count);
    for (std::uint32_t w = 0; w < kBitmapWords; ++w)
      for (std::uint32_t bits = c.data[w]; bits; bits &= bits - 1)
        list.push_back(static_cast<std::uint16_t>(w * 16 + std::countr_zero(bits)));
    c.data = std::move(list);
    c.bitmap = false;
  }
}

void BlockSet::PrefetchData(std::uint32_t n) const {
  // A sparse list was asked for already.
  const std::uint32_t high = n >> kChunkBits;
  if (high >= chunks_.size() || chunks_[high].high != high) return;
  const Chunk& c = chunks_[high];
  __builtin_prefetch(c.bitmap ? &c.data[(n & (kChunkSpan - 1)) >> 4] : &c.data[c.data.size() / 2]);
}

bool BlockSet::Contains(std::uint32_t n) const {
  if (chunks_.empty()) return std::binary_search(sparse_.begin(), sparse_.end(), n);
  const Chunk* c = FindChunk(n >> kChunkBits);
  return c && c->Contains(static_cast<std::uint16_t>(n & (kChunkSpan - 1)));
}

void BlockSet::Clear() {
  sparse_.clear();
  sparse_.shrink_to_fit();
  chunks_.clear();
  chunks_.shrink_to_fit();
  count_ = 0;
  recent_ = kNoNumber;
}

std::size_t BlockSet::MemoryBytes() const {
  std::size_t bytes = sparse_.capacity() * sizeof(std::uint32_t) + chunks_.capacity() * sizeof(Chunk);
  for (const Chunk& c : chunks_) bytes += c.data.capacity() * sizeof(std::uint16_t);
  return bytes;
}

void BlockSet::ShrinkToFit() {
  sparse_.shrink_to_fit();
  chunks_.shrink_to_fit();
  for (Chunk& c : chunks_) c.data.shrink_to_fit();
}
