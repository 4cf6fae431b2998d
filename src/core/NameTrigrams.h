#pragma once
// Trigram postings over folded names: for every three consecutive bytes of a folded WTF-8 name,
// the set of blocks (kBlockSize consecutive entry ids) holding a name that contains them.
// A name holding a query's literal run holds each of its trigrams, so the blocks in all of
// their sets are the only places such a name can be.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "core/BlockSet.h"

class NameTrigrams {
 public:
  static constexpr std::uint32_t kBlockShift = 3;
  static constexpr std::uint32_t kBlockSize = 1u << kBlockShift;
  using Key = std::uint32_t;

  // The distinct trigrams of a folded name, ascending, appended to keys.
  static void KeysOf(std::string_view folded, std::vector<Key>& keys);

  void Add(std::uint32_t block, std::string_view folded);
  // Takes block out of the sets of those keys that none of the names still in it holds.
  void Erase(std::uint32_t block, const std::vector<Key>& keys, const std::vector<std::string_view>& stay);
  void Clear();

  // The sets of keys, or empty when one of them has no block at all.
  std::vector<const BlockSet*> SetsOf(const std::vector<Key>& keys) const;
  // Calls visit for the blocks in every one of sets, ascending, until it returns false.
  static void Intersect(std::vector<const BlockSet*> sets, const std::function<bool(std::uint32_t)>& visit);

  std::size_t MemoryBytes() const;
  // Also forgets the trigrams no name holds any more.
  void ShrinkToFit();

 private:
  // Open addressing over the keys; a slot holds an index into sets_, kEmpty when free. A key
  // whose set empties stays until ShrinkToFit: a trigram seen once is likely to come back.
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static constexpr std::size_t kFirstSize = 1024;
  static constexpr std::size_t kBatch = 32;  // sets changed together
  struct Slot {
    Key key = 0;
    std::uint32_t set = kEmpty;
  };

  BlockSet* Find(Key key);
  const BlockSet* Find(Key key) const;
  // The index in sets_ of the key's set, made when new.
  std::uint32_t Insert(Key key);
  std::size_t SlotOf(Key key) const;
  // Makes the table size slots (a power of two) holding slots.
  void Rehash(std::size_t size, const std::vector<Slot>& slots);

  std::vector<Slot> slots_;
  int hashShift_ = 32;  // 32 minus the bits of a slot number
  std::vector<BlockSet> sets_;
};
