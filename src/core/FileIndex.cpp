#include "core/FileIndex.h"

#include <algorithm>

#include "core/CancelPoll.h"
#include "core/FileIndexText.h"
#include "core/TextFold.h"

namespace {
// Root paths are kept without a trailing backslash, except a drive root ("C:\").
std::u16string NormalizeRoot(std::u16string_view path) {
  std::u16string p(path);
  while (p.size() > 1 && p.back() == u'\\' && !(p.size() == 3 && p[1] == u':')) p.pop_back();
  if (p.size() == 2 && p[1] == u':') p.push_back(u'\\');
  return p;
}

// Fewer entries than this leaving are always taken out one by one.
constexpr std::size_t kRebuildMin = 4096;
// The postings are passed over for a scan when the rarest trigram of the query is in nearly
// every block (more than 15 in 16): they would filter out too little to pay for themselves.
// Below that they win even for broad queries, as both stop at the cap (measured by the bench).
constexpr std::size_t kDenseNum = 15, kDenseDen = 16;

bool HasPathPrefix(std::string_view folded, std::string_view rootFolded) {
  if (folded.size() < rootFolded.size() || folded.compare(0, rootFolded.size(), rootFolded) != 0) return false;
  return folded.size() == rootFolded.size() || rootFolded.back() == '\\' || folded[rootFolded.size()] == '\\';
}
}  // namespace

bool FileIndex::StoreName(Entry& e, std::u16string_view name) {
  // A unit takes one to three bytes: longer names cannot fit, and the pool stays addressable.
  if (name.empty() || name.size() > kMaxNameBytes || pool_.size() + 6 * name.size() > 0xFFFFFFFFu) return false;
  // Both forms go straight into the pool; the folded one is dropped again when it is the same.
  const std::size_t at = pool_.size();
  AppendWtf8(name, pool_);
  const std::size_t originalBytes = pool_.size() - at;
  AppendWtf8(FoldLower(name), pool_);
  const std::size_t foldedBytes = pool_.size() - at - originalBytes;
  if (originalBytes > kMaxNameBytes || foldedBytes > kMaxNameBytes) {
    pool_.resize(at);
    return false;
  }
  e.nameOff = static_cast<std::uint32_t>(at);
  e.nameBits = static_cast<std::uint16_t>((e.nameBits & ~kLenMask) | originalBytes);
  if (std::string_view(pool_).substr(at, originalBytes) == std::string_view(pool_).substr(at + originalBytes)) {
    pool_.resize(at + originalBytes);
    e.foldBits = kSameFold;
  } else {
    e.foldBits = static_cast<std::uint16_t>(foldedBytes);
  }
  return true;
}

FileIndex::EntryId FileIndex::NewSlot() {
  if (freeList_ != kNone) {
    const EntryId id = freeList_;
    freeList_ = entries_[id].nextSibling;
    return id;
  }
  if (entries_.size() >= kNone) return kNone;
  entries_.push_back(Entry{});
  return static_cast<EntryId>(entries_.size() - 1);
}

FileIndex::EntryId FileIndex::AddRoot(std::u16string_view path) {
  const std::u16string root = NormalizeRoot(path);
  const std::string folded = ToWtf8(FoldLower(root));
  for (EntryId r : roots_)
    if (Folded(entries_[r]) == folded) return r;
  Entry e{kNone, kNone, kNone, 0, static_cast<std::uint16_t>(kLive | kFolder), 0};
  if (!StoreName(e, root)) return kNone;
  const EntryId id = NewSlot();
  if (id == kNone) return kNone;
  entries_[id] = e;
  roots_.push_back(id);
  return id;
}

FileIndex::EntryId FileIndex::Add(EntryId parent, std::u16string_view name, bool isFolder) {
  if (!IsFolder(parent)) return kNone;
  Entry e{parent, kNone, kNone, 0, static_cast<std::uint16_t>(kLive | (isFolder ? kFolder : 0)), 0};
  if (!StoreName(e, name)) return kNone;
  const EntryId id = NewSlot();
  if (id == kNone) return kNone;
  e.nextSibling = entries_[parent].firstChild;
  entries_[id] = e;
  entries_[parent].firstChild = id;
  trigrams_.Add(id >> NameTrigrams::kBlockShift, Folded(e));
  ++live_;
  return id;
}

bool FileIndex::IsLive(EntryId id) const { return id < entries_.size() && (entries_[id].nameBits & kLive); }
bool FileIndex::IsFolder(EntryId id) const { return IsLive(id) && (entries_[id].nameBits & kFolder); }
FileIndex::EntryId FileIndex::Parent(EntryId id) const { return IsLive(id) ? entries_[id].parent : kNone; }

std::u16string FileIndex::Name(EntryId id) const {
  return IsLive(id) ? FromWtf8(Original(entries_[id])) : std::u16string();
}

std::u16string FileIndex::PathOf(EntryId id) const {
  std::u16string path;
  if (!IsLive(id)) return path;
  // Most paths are shallow: their chain stays on the stack.
  constexpr std::size_t kInline = 32;
  EntryId inlineChain[kInline];
  std::vector<EntryId> deepChain;
  std::size_t depth = 0, bytes = 0;
  for (EntryId at = id; at != kNone; at = entries_[at].parent, ++depth) {
    if (depth == kInline) deepChain.assign(inlineChain, inlineChain + kInline);
    if (depth < kInline) inlineChain[depth] = at;
    else deepChain.push_back(at);
    bytes += (entries_[at].nameBits & kLenMask) + 1;
  }
  const EntryId* chain = depth <= kInline ? inlineChain : deepChain.data();
  path.reserve(bytes);
  for (std::size_t i = depth; i-- > 0;) {
    if (!path.empty() && path.back() != u'\\') path.push_back(u'\\');
    AppendFromWtf8(Original(entries_[chain[i]]), path);
  }
  return path;
}

// Only the folder of the hit before is reused: a cache of every folder path met in the batch,
// each built from its parent's, was measured slower (hits rarely share a folder otherwise).
std::vector<std::u16string> FileIndex::PathsOf(std::span<const EntryId> ids) const {
  std::vector<std::u16string> paths(ids.size());
  EntryId folder = kNone;
  std::u16string folderPath;  // ends in a backslash
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const EntryId id = ids[i];
    if (!IsLive(id)) continue;
    const EntryId parent = entries_[id].parent;
    if (parent == kNone) {
      paths[i] = PathOf(id);
      continue;
    }
    if (parent != folder) {
      folder = parent;
      folderPath = PathOf(parent);
      if (!folderPath.empty() && folderPath.back() != u'\\') folderPath.push_back(u'\\');
    }
    std::u16string& path = paths[i];
    path.reserve(folderPath.size() + (entries_[id].nameBits & kLenMask));
    path = folderPath;
    AppendFromWtf8(Original(entries_[id]), path);
  }
  return paths;
}

bool FileIndex::IsWithin(EntryId id, EntryId scope) const {
  if (!IsLive(id) || !IsLive(scope)) return false;
  for (EntryId at = id; at != kNone; at = entries_[at].parent)
    if (at == scope) return true;
  return false;
}

FileIndex::EntryId FileIndex::FindChild(EntryId parent, std::u16string_view name) const {
  if (!IsFolder(parent)) return kNone;
  const std::string folded = ToWtf8(FoldLower(name));
  for (EntryId c = entries_[parent].firstChild; c != kNone; c = entries_[c].nextSibling)
    if (Folded(entries_[c]) == folded) return c;
  return kNone;
}

std::vector<FileIndex::EntryId> FileIndex::Children(EntryId folder) const {
  std::vector<EntryId> out;
  if (!IsFolder(folder)) return out;
  for (EntryId c = entries_[folder].firstChild; c != kNone; c = entries_[c].nextSibling) out.push_back(c);
  return out;
}

FileIndex::EntryId FileIndex::FindPath(std::u16string_view path) const {
  const std::string folded = ToWtf8(FoldLower(NormalizeRoot(path)));
  EntryId best = kNone;
  std::size_t bestLen = 0;
  for (EntryId r : roots_) {
    const std::string_view rf = Folded(entries_[r]);
    if (HasPathPrefix(folded, rf) && rf.size() >= bestLen) {
      best = r;
      bestLen = rf.size();
    }
  }
  if (best == kNone) return kNone;
  EntryId at = best;
  std::size_t pos = bestLen;
  while (pos < folded.size() && at != kNone) {
    if (folded[pos] == '\\') {
      ++pos;
      continue;
    }
    const std::size_t end = std::min(folded.find('\\', pos), folded.size());
    const std::string_view part = std::string_view(folded).substr(pos, end - pos);
    EntryId next = kNone;
    for (EntryId c = entries_[at].firstChild; c != kNone; c = entries_[c].nextSibling)
      if (Folded(entries_[c]) == part) {
        next = c;
        break;
      }
    at = next;
    pos = end;
  }
  return at;
}

void FileIndex::Unlink(EntryId id) {
  const EntryId parent = entries_[id].parent;
  if (parent == kNone) return;
  EntryId* link = &entries_[parent].firstChild;
  while (*link != kNone && *link != id) link = &entries_[*link].nextSibling;
  if (*link == id) *link = entries_[id].nextSibling;
  entries_[id].nextSibling = kNone;
}

// The entry must be unlinked already. The names stay in the pool until the next compaction.
void FileIndex::Release(EntryId id, std::vector<std::pair<EntryId, std::string_view>>& gone) {
  std::vector<EntryId> stack{id};
  while (!stack.empty()) {
    const EntryId at = stack.back();
    stack.pop_back();
    Entry& e = entries_[at];
    for (EntryId c = e.firstChild; c != kNone; c = entries_[c].nextSibling) stack.push_back(c);
    gone.emplace_back(at, Folded(e));
    deadBytes_ += (e.nameBits & kLenMask) + ((e.foldBits & kSameFold) ? 0 : (e.foldBits & kLenMask));
    e.nameBits = 0;
    e.firstChild = kNone;
    e.parent = kNone;
    e.nextSibling = freeList_;
    freeList_ = at;
    --live_;
  }
}

void FileIndex::DropKeys(EntryId id, const std::vector<NameTrigrams::Key>& keys) {
  const EntryId block = id >> NameTrigrams::kBlockShift;
  const EntryId first = block << NameTrigrams::kBlockShift;
  const EntryId end = static_cast<EntryId>(std::min<std::size_t>(entries_.size(), first + NameTrigrams::kBlockSize));
  std::vector<std::string_view> stay;
  stay.reserve(NameTrigrams::kBlockSize);
  for (EntryId at = first; at < end; ++at)
    if (Indexed(entries_[at])) stay.push_back(Folded(entries_[at]));
  trigrams_.Erase(block, keys, stay);
}

// Entries are taken out a block at a time (a folder's entries mostly share blocks, as they
// were added together); when many go at once, building the postings again from what stays is
// cheaper.
void FileIndex::DropNames(std::vector<std::pair<EntryId, std::string_view>>& gone) {
  if (gone.size() >= kRebuildMin && gone.size() * 4 >= live_) {
    RebuildPostings();
    return;
  }
  std::sort(gone.begin(), gone.end());
  for (std::size_t i = 0; i < gone.size();) {
    const EntryId block = gone[i].first >> NameTrigrams::kBlockShift;
    keys_.clear();
    for (; i < gone.size() && (gone[i].first >> NameTrigrams::kBlockShift) == block; ++i)
      NameTrigrams::KeysOf(gone[i].second, keys_);
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    DropKeys(block << NameTrigrams::kBlockShift, keys_);
  }
}

void FileIndex::RebuildPostings() {
  trigrams_.Clear();
  for (EntryId i = 0; i < entries_.size(); ++i)
    if (Indexed(entries_[i])) trigrams_.Add(i >> NameTrigrams::kBlockShift, Folded(entries_[i]));
  trigrams_.ShrinkToFit();
}

void FileIndex::RemoveChildren(EntryId id) {
  if (!IsFolder(id)) return;
  EntryId c = entries_[id].firstChild;
  entries_[id].firstChild = kNone;
  std::vector<std::pair<EntryId, std::string_view>> gone;
  while (c != kNone) {
    const EntryId next = entries_[c].nextSibling;
    Release(c, gone);
    c = next;
  }
  DropNames(gone);
  CompactPoolIfWasteful();
}

void FileIndex::Remove(EntryId id) {
  if (!IsLive(id)) return;
  if (entries_[id].parent == kNone) {
    RemoveChildren(id);
    return;
  }
  Unlink(id);
  std::vector<std::pair<EntryId, std::string_view>> gone;
  Release(id, gone);
  DropNames(gone);
  CompactPoolIfWasteful();
}

bool FileIndex::Move(EntryId id, EntryId newParent, std::u16string_view newName) {
  if (!IsLive(id) || entries_[id].parent == kNone || !IsFolder(newParent) || IsWithin(newParent, id)) return false;
  Entry renamed = entries_[id];
  const std::size_t oldBytes =
      (renamed.nameBits & kLenMask) + ((renamed.foldBits & kSameFold) ? 0 : (renamed.foldBits & kLenMask));
  // Storing the new name may move the pool, so the old folded name is copied first.
  const std::string oldFolded(Folded(renamed));
  if (!StoreName(renamed, newName)) return false;
  deadBytes_ += oldBytes;
  Unlink(id);
  renamed.parent = newParent;
  renamed.nextSibling = entries_[newParent].firstChild;
  entries_[id] = renamed;
  entries_[newParent].firstChild = id;
  if (Folded(renamed) != oldFolded) {
    keys_.clear();
    NameTrigrams::KeysOf(oldFolded, keys_);
    DropKeys(id, keys_);
    trigrams_.Add(id >> NameTrigrams::kBlockShift, Folded(renamed));
  }
  CompactPoolIfWasteful();
  return true;
}

// Names of removed and renamed entries stay in the pool until they make up half of it.
void FileIndex::CompactPoolIfWasteful() {
  if (deadBytes_ < (1u << 16) || deadBytes_ * 2 < pool_.size()) return;
  std::string pool;
  pool.reserve(pool_.size() - deadBytes_);
  for (Entry& e : entries_) {
    if (!(e.nameBits & kLive)) continue;
    const std::size_t bytes = (e.nameBits & kLenMask) + ((e.foldBits & kSameFold) ? 0 : (e.foldBits & kLenMask));
    const std::uint32_t off = static_cast<std::uint32_t>(pool.size());
    pool.append(pool_, e.nameOff, bytes);
    e.nameOff = off;
  }
  pool_ = std::move(pool);
  deadBytes_ = 0;
}

bool FileIndex::NameMatches(EntryId id, const NameQuery& query) const {
  return IsLive(id) && query.MatchesStored(Folded(entries_[id]), Original(entries_[id]));
}

std::vector<FileIndex::EntryId> FileIndex::Search(const NameQuery& query, const std::vector<EntryId>& scopes,
                                                  std::size_t cap, const std::atomic<bool>* cancel,
                                                  SearchPlan plan) const {
  std::vector<EntryId> found;
  if (query.IsEmpty() || cap == 0) return found;
  std::vector<EntryId> live;
  for (EntryId s : scopes)
    if (IsFolder(s)) live.push_back(s);
  if (live.empty()) return found;
  // Scopes that cover every root need no ancestor walk. Counting them is not enough: the
  // same root may be given twice.
  const bool allRoots = std::all_of(roots_.begin(), roots_.end(), [&](EntryId r) {
    return std::find(live.begin(), live.end(), r) != live.end();
  });
  // Takes entry i when it is a hit; false once the cap is reached.
  const auto consider = [&](EntryId i) {
    const Entry& e = entries_[i];
    if (!Indexed(e) || !query.MatchesStored(Folded(e), Original(e))) return true;
    if (!allRoots) {
      bool inside = false;
      for (EntryId at = e.parent; at != kNone && !inside; at = entries_[at].parent)
        inside = std::find(live.begin(), live.end(), at) != live.end();
      if (!inside) return true;
    }
    found.push_back(i);
    return found.size() < cap;
  };
  const EntryId count = static_cast<EntryId>(entries_.size());
  CancelPoll poll;
  if (cancel && cancel->load(std::memory_order_relaxed)) return found;

  std::vector<NameTrigrams::Key> keys;
  if (plan != SearchPlan::kScan)
    for (std::string_view run : query.LiteralRuns()) NameTrigrams::KeysOf(run, keys);
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  if (!keys.empty()) {
    const std::vector<const BlockSet*> sets = trigrams_.SetsOf(keys);
    if (sets.empty()) return found;  // a trigram no name holds
    const std::size_t blocks = (entries_.size() >> NameTrigrams::kBlockShift) + 1;
    const std::size_t rarest = (*std::min_element(sets.begin(), sets.end(), [](const BlockSet* a, const BlockSet* b) {
                                 return a->Count() < b->Count();
                               }))->Count();
    if (plan == SearchPlan::kPostings || rarest * kDenseDen <= blocks * kDenseNum) {
      NameTrigrams::Intersect(sets, [&](std::uint32_t block) {
        if (cancel && poll.Due() && cancel->load(std::memory_order_relaxed)) return false;
        const EntryId first = block << NameTrigrams::kBlockShift;
        const EntryId end = std::min<EntryId>(count, first + NameTrigrams::kBlockSize);
        for (EntryId i = first; i < end; ++i)
          if (!consider(i)) return false;
        return true;
      });
      return found;
    }
  }
  for (EntryId i = 0; i < count; ++i) {
    if (cancel && poll.Due() && cancel->load(std::memory_order_relaxed)) break;
    if (!consider(i)) break;
  }
  return found;
}

std::size_t FileIndex::MemoryBytes() const {
  return entries_.capacity() * sizeof(Entry) + pool_.capacity() + roots_.capacity() * sizeof(EntryId) +
         trigrams_.MemoryBytes() + keys_.capacity() * sizeof(NameTrigrams::Key);
}

void FileIndex::ShrinkToFit() {
  entries_.shrink_to_fit();
  pool_.shrink_to_fit();
  trigrams_.ShrinkToFit();
}
