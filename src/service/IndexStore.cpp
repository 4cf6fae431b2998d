#include "service/IndexStore.h"

#include <mutex>
#include <unordered_map>

#include "service/DirectoryWalker.h"
#include "service/RootWatcher.h"
#include "win/common/WideText.h"

namespace {
// Scans again while more changes arrived during a scan than it holds back, a bounded number
// of times; the last pass applies what it held and counts the root as indexed.
constexpr int kMaxScanPasses = 3;

std::wstring ParentOf(const std::wstring& path, std::wstring& name) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) {
    name.clear();
    return {};
  }
  name = path.substr(slash + 1);
  std::wstring parent = path.substr(0, slash);
  if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
  return parent;
}

bool IsFolderOnDisk(const std::wstring& path) {
  const DWORD attrs = ::GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

IndexStore::IndexStore(std::vector<std::wstring> roots)
    : rootPaths_(std::move(roots)),
      indexed_(new std::atomic<bool>[rootPaths_.size()]),
      pending_(new Pending[rootPaths_.size()]) {
  for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
    indexed_[i] = false;
    rootEntries_.push_back(index_.AddRoot(U(rootPaths_[i])));
  }
}

IndexStore::~IndexStore() { Stop(DeadlineIn(kStopMs)); }

void IndexStore::Start() {
  for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
    auto watcher = std::make_unique<RootWatcher>(*this, i, rootPaths_[i]);
    if (watcher->Start()) watchers_.push_back(std::move(watcher));
  }
  scanner_ = ServiceThread(L"the scan", [this] {
    for (std::size_t i = 0; i < rootPaths_.size() && !stop_; ++i) ScanRoot(i);
  });
}

bool IndexStore::Stop(ULONGLONG deadline) {
  stop_ = true;
  bool ended = true;
  for (auto& w : watchers_) ended = w->Stop(deadline) && ended;
  return scanner_.Join(deadline) && ended;
}

bool IndexStore::IsRootIndexed(std::size_t root) const { return root < rootPaths_.size() && indexed_[root]; }

bool IndexStore::AllIndexed() const {
  for (std::size_t i = 0; i < rootPaths_.size(); ++i)
    if (!indexed_[i]) return false;
  return true;
}

std::optional<std::size_t> IndexStore::RootOf(const std::wstring& path) const {
  std::shared_lock lock(lock_);
  const FileIndex::EntryId id = index_.FindPath(U(path));
  if (id == FileIndex::kNone) {
    // Not indexed (yet): find the root by its path, ignoring case.
    std::optional<std::size_t> best;
    std::size_t bestLen = 0;
    const std::u16string folded = U(path);
    for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
      const std::u16string root = index_.PathOf(rootEntries_[i]);
      if (root.size() < bestLen || root.size() > folded.size()) continue;
      if (_wcsnicmp(W(root).c_str(), path.c_str(), root.size()) == 0 &&
          (folded.size() == root.size() || root.back() == u'\\' || folded[root.size()] == u'\\')) {
        best = i;
        bestLen = root.size();
      }
    }
    return best;
  }
  for (std::size_t i = 0; i < rootPaths_.size(); ++i)
    if (index_.IsWithin(id, rootEntries_[i])) return i;
  return std::nullopt;
}

void IndexStore::AddTree(FileIndex::EntryId parent, const std::wstring& folder) {
  std::unordered_map<std::wstring, FileIndex::EntryId> folders{{folder, parent}};
  WalkDirectory(
      folder,
      [&](const std::wstring& dir, const std::wstring& name, bool isFolder) {
        const auto it = folders.find(dir);
        if (it == folders.end()) return false;
        FileIndex::EntryId id;
        {
          std::unique_lock lock(lock_);
          id = index_.Add(it->second, U(name), isFolder);
        }
        if (isFolder && id != FileIndex::kNone) folders.emplace(JoinPath(dir, name), id);
        return isFolder && id != FileIndex::kNone;
      },
      &stop_);
}

void IndexStore::ScanRoot(std::size_t root) {
  {
    std::lock_guard lock(pending_[root].lock);
    indexed_[root] = false;
  }
  for (int pass = 1; !stop_; ++pass) {
    {
      // What changed before this pass began, the pass sees on disk.
      std::lock_guard lock(pending_[root].lock);
      pending_[root].changes.clear();
      pending_[root].lost = false;
    }
    {
      std::unique_lock lock(lock_);
      index_.RemoveChildren(rootEntries_[root]);
    }
    AddTree(rootEntries_[root], rootPaths_[root]);
    if (ApplyPending(root, pass >= kMaxScanPasses)) break;
  }
  {
    std::unique_lock lock(lock_);
    index_.ShrinkToFit();
  }
  ::OutputDebugStringW((L"RuvoService: indexed " + rootPaths_[root]).c_str());
}

bool IndexStore::ApplyPending(std::size_t root, bool acceptLoss) {
  Pending& pending = pending_[root];
  for (;;) {
    std::vector<Change> batch;
    {
      std::lock_guard lock(pending.lock);
      if (pending.lost && !acceptLoss) return false;
      if (pending.changes.empty() || stop_) {
        // Under the lock: a change that comes after this is applied at once, not held back.
        indexed_[root] = !stop_;
        return true;
      }
      batch.swap(pending.changes);
    }
    for (const Change& change : batch) Apply(change);
  }
}

void IndexStore::Rescan(std::size_t root) {
  if (root >= rootPaths_.size() || stop_) return;
  {
    std::lock_guard lock(pending_[root].lock);
    if (!indexed_[root]) {
      pending_[root].lost = true;  // the scan under way (or still to come) runs another pass
      return;
    }
  }
  ScanRoot(root);
}

bool IndexStore::Defer(Change change) {
  const auto root = RootOf(change.path);
  if (!root) return true;
  Pending& pending = pending_[*root];
  std::lock_guard lock(pending.lock);
  if (indexed_[*root]) return false;
  if (pending.changes.size() < kMaxPendingChanges) pending.changes.push_back(std::move(change));
  else pending.lost = true;
  return true;
}

void IndexStore::Apply(const Change& change) {
  switch (change.kind) {
    case Change::kAdded: AddNow(change.path); break;
    case Change::kRemoved: RemoveNow(change.path); break;
    case Change::kRenamed: RenameNow(change.from, change.path); break;
  }
}

void IndexStore::Added(const std::wstring& path) {
  if (!Defer({Change::kAdded, path, {}})) AddNow(path);
}

void IndexStore::Removed(const std::wstring& path) {
  if (!Defer({Change::kRemoved, path, {}})) RemoveNow(path);
}

void IndexStore::Renamed(const std::wstring& from, const std::wstring& to) {
  if (!Defer({Change::kRenamed, to, from})) RenameNow(from, to);
}

void IndexStore::AddNow(const std::wstring& path) {
  std::wstring name;
  const std::wstring parentPath = ParentOf(path, name);
  const bool isFolder = IsFolderOnDisk(path);
  FileIndex::EntryId id = FileIndex::kNone;
  {
    std::unique_lock lock(lock_);
    const FileIndex::EntryId parent = index_.FindPath(U(parentPath));
    if (parent == FileIndex::kNone || name.empty() || index_.FindChild(parent, U(name)) != FileIndex::kNone) return;
    id = index_.Add(parent, U(name), isFolder);
  }
  // A folder moved in from elsewhere arrives with its contents.
  if (isFolder && id != FileIndex::kNone) AddTree(id, path);
}

void IndexStore::RemoveNow(const std::wstring& path) {
  std::unique_lock lock(lock_);
  const FileIndex::EntryId id = index_.FindPath(U(path));
  if (id != FileIndex::kNone && index_.Parent(id) != FileIndex::kNone) index_.Remove(id);
}

void IndexStore::RenameNow(const std::wstring& from, const std::wstring& to) {
  std::wstring name;
  const std::wstring parentPath = ParentOf(to, name);
  {
    std::unique_lock lock(lock_);
    const FileIndex::EntryId id = index_.FindPath(U(from));
    const FileIndex::EntryId parent = index_.FindPath(U(parentPath));
    if (id != FileIndex::kNone && parent != FileIndex::kNone && index_.Move(id, parent, U(name))) return;
    if (id != FileIndex::kNone && index_.Parent(id) != FileIndex::kNone) index_.Remove(id);
  }
  AddNow(to);
}
