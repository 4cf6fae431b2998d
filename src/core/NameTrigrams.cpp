#include "core/NameTrigrams.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace {
bool TestBit(const std::vector<std::uint16_t>& words, std::uint16_t low) { return (words[low >> 4] >> (low & 15)) & 1; }

// Keeps the members of lows (ascending) that the chunk holds too.
void Filter(std::vector<std::uint16_t>& lows, const BlockSet::Chunk& chunk) {
  std::size_t kept = 0;
  if (chunk.bitmap) {
    for (std::uint16_t low : lows)
      if (TestBit(chunk.data, low)) lows[kept++] = low;
  } else {
    auto at = chunk.data.begin();
    for (std::uint16_t low : lows) {
      at = std::lower_bound(at, chunk.data.end(), low);
      if (at == chunk.data.end()) break;
      if (*at == low) lows[kept++] = low;
    }
  }
  lows.resize(kept);
}

// The members common to chunks (all with the same high part), ascending, into lows.
void Common(const std::vector<const BlockSet::Chunk*>& chunks, std::vector<std::uint16_t>& lows) {
  lows.clear();
  const BlockSet::Chunk* shortest = nullptr;
  for (const BlockSet::Chunk* c : chunks)
    if (!c->bitmap && (!shortest || c->count < shortest->count)) shortest = c;
  if (shortest) {
    lows = shortest->data;
    for (const BlockSet::Chunk* c : chunks)
      if (c != shortest && !lows.empty()) Filter(lows, *c);
    return;
  }
  // Bitmaps only: a word at a time.
  for (std::uint32_t w = 0; w < BlockSet::kBitmapWords; ++w) {
    std::uint32_t bits = 0xFFFF;
    for (const BlockSet::Chunk* c : chunks) bits &= c->data[w];
    for (; bits; bits &= bits - 1) lows.push_back(static_cast<std::uint16_t>(w * 16 + std::countr_zero(bits)));
  }
}

NameTrigrams::Key KeyAt(std::string_view s, std::size_t i) {
  return static_cast<NameTrigrams::Key>(static_cast<unsigned char>(s[i])) |
         static_cast<NameTrigrams::Key>(static_cast<unsigned char>(s[i + 1])) << 8 |
         static_cast<NameTrigrams::Key>(static_cast<unsigned char>(s[i + 2])) << 16;
}
}  // namespace

void NameTrigrams::KeysOf(std::string_view folded, std::vector<Key>& keys) {
  const std::size_t from = keys.size();
  for (std::size_t i = 0; i + 3 <= folded.size(); ++i) keys.push_back(KeyAt(folded, i));
  const auto begin = keys.begin() + static_cast<std::ptrdiff_t>(from);
  std::sort(begin, keys.end());
  keys.erase(std::unique(begin, keys.end()), keys.end());
}

std::size_t NameTrigrams::SlotOf(Key key) const {
  const std::size_t mask = slots_.size() - 1;
  // The high bits of the product mix every byte of the key.
  std::size_t slot = static_cast<std::uint32_t>(key * 0x9E3779B1u) >> hashShift_;
  while (slots_[slot].set != kEmpty && slots_[slot].key != key) slot = (slot + 1) & mask;
  return slot;
}

const BlockSet* NameTrigrams::Find(Key key) const {
  if (slots_.empty()) return nullptr;
  const Slot& slot = slots_[SlotOf(key)];
  return slot.set == kEmpty ? nullptr : &sets_[slot.set];
}

BlockSet* NameTrigrams::Find(Key key) { return const_cast<BlockSet*>(std::as_const(*this).Find(key)); }

void NameTrigrams::Rehash(std::size_t size, const std::vector<Slot>& slots) {
  slots_.assign(size, Slot{});
  hashShift_ = 32 - std::countr_zero(size);
  for (const Slot& slot : slots)
    if (slot.set != kEmpty) slots_[SlotOf(slot.key)] = slot;
}

std::uint32_t NameTrigrams::Insert(Key key) {
  if (!slots_.empty()) {
    const Slot& slot = slots_[SlotOf(key)];
    if (slot.set != kEmpty) return slot.set;
  }
  if ((sets_.size() + 1) * 4 > slots_.size() * 3) Rehash(std::max(kFirstSize, slots_.size() * 2), std::vector<Slot>(slots_));
  const auto set = static_cast<std::uint32_t>(sets_.size());
  slots_[SlotOf(key)] = Slot{key, set};
  sets_.emplace_back();
  return set;
}

void NameTrigrams::Add(std::uint32_t block, std::string_view folded) {
  // A trigram met twice finds the block in its set already: no need to sort them out first.
  std::uint32_t sets[kBatch];  // indices: a new set may move the others
  for (std::size_t from = 0; from + 3 <= folded.size(); from += kBatch) {
    const std::size_t n = std::min(kBatch, folded.size() - 2 - from);
    for (std::size_t i = 0; i < n; ++i) sets[i] = Insert(KeyAt(folded, from + i));
    for (std::size_t i = 0; i < n; ++i) sets_[sets[i]].PrefetchChunk(block);
    for (std::size_t i = 0; i < n; ++i) sets_[sets[i]].PrefetchData(block);
    for (std::size_t i = 0; i < n; ++i) sets_[sets[i]].Insert(block);
  }
}

void NameTrigrams::Erase(std::uint32_t block, const std::vector<Key>& keys, const std::vector<std::string_view>& stay) {
  // A filter of the trigrams that stay settles most keys; the few it passes are looked for.
  std::uint64_t filter[8] = {};
  const auto bit = [](Key key) { return static_cast<std::uint32_t>(key * 0x9E3779B1u) >> 23; };
  for (std::string_view name : stay)
    for (std::size_t i = 0; i + 3 <= name.size(); ++i) {
      const std::uint32_t b = bit(KeyAt(name, i));
      filter[b >> 6] |= std::uint64_t{1} << (b & 63);
    }
  std::vector<BlockSet*> gone;
  gone.reserve(keys.size());
  for (Key key : keys) {
    const std::uint32_t b = bit(key);
    if (filter[b >> 6] >> (b & 63) & 1) {
      const char bytes[3] = {static_cast<char>(key), static_cast<char>(key >> 8), static_cast<char>(key >> 16)};
      const std::string_view trigram(bytes, 3);
      if (std::any_of(stay.begin(), stay.end(), [&](std::string_view n) { return n.find(trigram) != n.npos; }))
        continue;
    }
    if (BlockSet* set = Find(key)) gone.push_back(set);
  }
  for (BlockSet* set : gone) set->PrefetchChunk(block);
  for (BlockSet* set : gone) set->PrefetchData(block);
  for (BlockSet* set : gone) set->Erase(block);
}

void NameTrigrams::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  sets_.clear();
  sets_.shrink_to_fit();
}

std::vector<const BlockSet*> NameTrigrams::SetsOf(const std::vector<Key>& keys) const {
  std::vector<const BlockSet*> sets;
  for (Key key : keys) {
    const BlockSet* set = Find(key);
    if (!set || set->Empty()) return {};
    sets.push_back(set);
  }
  return sets;
}

void NameTrigrams::Intersect(std::vector<const BlockSet*> sets, const std::function<bool(std::uint32_t)>& visit) {
  if (sets.empty()) return;
  std::sort(sets.begin(), sets.end(), [](const BlockSet* a, const BlockSet* b) { return a->Count() < b->Count(); });
  // A sparse set is short: its members are looked up in the others.
  const auto sparse = std::find_if(sets.begin(), sets.end(), [](const BlockSet* s) { return s->IsSparse(); });
  if (sparse != sets.end()) {
    for (std::uint32_t n : (*sparse)->Sparse())
      if (std::all_of(sets.begin(), sets.end(), [&](const BlockSet* s) { return s == *sparse || s->Contains(n); }) &&
          !visit(n))
        return;
    return;
  }
  std::vector<const BlockSet::Chunk*> chunks;
  std::vector<std::uint16_t> lows;
  for (const BlockSet::Chunk& first : sets.front()->Chunks()) {
    chunks.assign(1, &first);
    for (std::size_t i = 1; i < sets.size() && chunks.size() == i; ++i)
      if (const BlockSet::Chunk* c = sets[i]->FindChunk(first.high)) chunks.push_back(c);
    if (chunks.size() < sets.size()) continue;
    Common(chunks, lows);
    const std::uint32_t base = first.high << BlockSet::kChunkBits;
    for (std::uint16_t low : lows)
      if (!visit(base | low)) return;
  }
}

std::size_t NameTrigrams::MemoryBytes() const {
  std::size_t bytes = slots_.capacity() * sizeof(Slot) + sets_.capacity() * sizeof(BlockSet);
  for (const BlockSet& set : sets_) bytes += set.MemoryBytes();
  return bytes;
}

// Drops the keys no name holds any more, and spare room.
void NameTrigrams::ShrinkToFit() {
  std::vector<Slot> kept;
  std::vector<BlockSet> sets;
  for (const Slot& slot : slots_) {
    if (slot.set == kEmpty || sets_[slot.set].Empty()) continue;
    kept.push_back(Slot{slot.key, static_cast<std::uint32_t>(sets.size())});
    sets.push_back(std::move(sets_[slot.set]));
  }
  for (BlockSet& set : sets) set.ShrinkToFit();
  sets_ = std::move(sets);
  std::size_t size = kFirstSize;
  while (kept.size() * 4 > size * 3) size *= 2;
  Rehash(size, kept);
}
