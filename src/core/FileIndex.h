#pragma once
// The in-memory index of file and folder names. Each entry holds a link to its parent, its
// first child and next sibling, and its name in the shared name pool (WTF-8, with the folded
// form beside it when that differs), about 20 bytes plus the name. Paths are never stored:
// they are rebuilt from the parent links for the items of an answer only.
//
// Beside them, trigram postings over the folded names (roots excepted, about 15 bytes an entry
// for common names) are kept exact through every change, so a query with a literal run of
// three bytes or more visits only the blocks of entries that can hold it; a query without one,
// or one whose trigrams are everywhere, scans the entries in order. Both find the same entries
// in the same order.
//
// Not thread-safe: the owner guards it (one writer, or any number of readers).
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/FileIndexQuery.h"
#include "core/NameTrigrams.h"

class FileIndex {
 public:
  using EntryId = std::uint32_t;
  static constexpr EntryId kNone = 0xFFFFFFFFu;
  // Longest name (in WTF-8 bytes) an entry can hold; Windows names stay far below it.
  static constexpr std::size_t kMaxNameBytes = 0x3FFF;
  // How Search finds its candidates: kAuto picks; kScan and kPostings force one way (the
  // postings need a trigram in the query), for tests and benchmarks. The answer is the same.
  enum class SearchPlan { kAuto, kScan, kPostings };

  // A root is a folder given by its full path ("C:\" or "D:\Data"); entries hang below it.
  // Adding a root that exists returns the existing one.
  EntryId AddRoot(std::u16string_view path);
  // kNone when parent is not a live folder or the name is empty or too long.
  EntryId Add(EntryId parent, std::u16string_view name, bool isFolder);
  // Removes the entry and everything below it. A root stays, emptied.
  void Remove(EntryId id);
  void RemoveChildren(EntryId id);
  // Renames and/or moves an entry under another live folder (not below itself).
  bool Move(EntryId id, EntryId newParent, std::u16string_view newName);

  // Finds by name, ignoring case; kNone when absent.
  EntryId FindChild(EntryId parent, std::u16string_view name) const;
  // Finds a full path under one of the roots, ignoring case.
  EntryId FindPath(std::u16string_view path) const;
  std::vector<EntryId> Roots() const { return roots_; }
  // The live entries right below a folder (none for a file or a dead entry).
  std::vector<EntryId> Children(EntryId folder) const;

  bool IsLive(EntryId id) const;
  bool IsFolder(EntryId id) const;
  EntryId Parent(EntryId id) const;
  std::u16string Name(EntryId id) const;
  std::u16string PathOf(EntryId id) const;
  // The paths of many entries at once (empty for an entry that is gone). Entries of one folder
  // that follow each other, as search hits do, share the work of the folder's path.
  std::vector<std::u16string> PathsOf(std::span<const EntryId> ids) const;
  // Whether id is scope or lies below it.
  bool IsWithin(EntryId id, EntryId scope) const;

  // Whether the entry is live and its name matches.
  bool NameMatches(EntryId id, const NameQuery& query) const;
  // Entries below the scopes (not the scopes themselves) whose names match, at most cap of
  // them, in index order. cancel, when given, is polled while searching; a cancelled search
  // returns what it found so far.
  std::vector<EntryId> Search(const NameQuery& query, const std::vector<EntryId>& scopes, std::size_t cap,
                              const std::atomic<bool>* cancel = nullptr, SearchPlan plan = SearchPlan::kAuto) const;

  std::size_t Count() const { return live_; }
  // Bytes held by the entry table, the name pool and the postings.
  std::size_t MemoryBytes() const;
  // Returns spare capacity after a bulk load.
  void ShrinkToFit();

 private:
  struct Entry {
    std::uint32_t parent;
    std::uint32_t firstChild;
    std::uint32_t nextSibling;  // also links free slots
    std::uint32_t nameOff;
    std::uint16_t nameBits;  // original length | kLive | kFolder
    std::uint16_t foldBits;  // folded length | kSameFold
  };
  static constexpr std::uint16_t kLenMask = 0x3FFF;
  static constexpr std::uint16_t kLive = 0x4000;
  static constexpr std::uint16_t kFolder = 0x8000;
  static constexpr std::uint16_t kSameFold = 0x8000;

  // Every stored offset and length lies inside the pool (StoreName and the compaction keep it
  // so), and a search reads these for each entry, so they skip the bounds check.
  std::string_view Original(const Entry& e) const { return {pool_.data() + e.nameOff, static_cast<std::size_t>(e.nameBits & kLenMask)}; }
  std::string_view Folded(const Entry& e) const {
    if (e.foldBits & kSameFold) return Original(e);
    return {pool_.data() + e.nameOff + (e.nameBits & kLenMask), static_cast<std::size_t>(e.foldBits & kLenMask)};
  }
  // Roots are never hits, so only the names below them are in the postings.
  static bool Indexed(const Entry& e) { return (e.nameBits & kLive) && e.parent != kNone; }
  bool StoreName(Entry& e, std::u16string_view name);
  // Takes id's block out of the sets of keys that no indexed entry of the block still holds.
  void DropKeys(EntryId id, const std::vector<NameTrigrams::Key>& keys);
  // Takes the freed entries out of the postings; sorts gone.
  void DropNames(std::vector<std::pair<EntryId, std::string_view>>& gone);
  void RebuildPostings();
  EntryId NewSlot();
  void Unlink(EntryId id);
  // Frees the entry and its subtree, noting each freed entry and its folded name in gone.
  void Release(EntryId id, std::vector<std::pair<EntryId, std::string_view>>& gone);
  void CompactPoolIfWasteful();

  std::vector<Entry> entries_;
  std::string pool_;
  std::vector<EntryId> roots_;
  NameTrigrams trigrams_;
  std::vector<NameTrigrams::Key> keys_;  // scratch of the changes
  EntryId freeList_ = kNone;
  std::size_t live_ = 0;
  std::size_t deadBytes_ = 0;
};
