#include "service/IndexStore.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "core/TextFold.h"
#include "service/DirectoryWalker.h"
#include "service/Drives.h"
#include "service/RootWatcher.h"
#include "win/common/WideText.h"
#include "win/common/Trace.h"

namespace {

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
  const DWORD attrs = ::GetFileAttributesW(ExtendedPath(path).c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

IndexStore::IndexStore(std::vector<std::wstring> roots, bool fixedDrivesOnly, DeviceRecipient recipient)
    : rootPaths_(std::move(roots)),
      fixedDrivesOnly_(fixedDrivesOnly),
      indexed_(new std::atomic<bool>[rootPaths_.size()]),
      pending_(new Pending[rootPaths_.size()]),
      stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      scanWanted_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      recipient_(recipient) {
  if (!stopEvent_ || !scanWanted_) throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
  for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
    indexed_[i] = false;
    rootEntries_.push_back(index_.AddRoot(U(rootPaths_[i])));
  }
}

IndexStore::~IndexStore() { Stop(DeadlineIn(kStopMs)); }

void IndexStore::Start() {
  for (std::size_t i = 0; i < rootPaths_.size(); ++i) pending_[i].scan = true;
  {
    std::lock_guard lock(watchersLock_);
    for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
      auto watcher = std::make_unique<RootWatcher>(*this, i, rootPaths_[i], recipient_);
      if (watcher->Start()) watchers_.push_back(std::move(watcher));
    }
  }
  scanner_ = ServiceThread(L"the scan", [this] { RunScanner(); });
}

bool IndexStore::Stop(ULONGLONG deadline) {
  stop_ = true;
  ::SetEvent(stopEvent_.get());
  bool ended = true;
  {
    std::lock_guard lock(watchersLock_);
    for (auto& w : watchers_) ended = w->Stop(deadline) && ended;
  }
  return scanner_.Join(deadline) && ended;
}

bool IndexStore::IsRootIndexed(std::size_t root) const { return root < rootPaths_.size() && indexed_[root]; }

void IndexStore::DeviceEvent(DWORD type, HDEVNOTIFY notify) {
  std::lock_guard lock(watchersLock_);
  for (auto& w : watchers_)
    if (w->DeviceEvent(type, notify)) return;
}

bool IndexStore::IsServed(std::size_t root) const {
  return root < rootPaths_.size() && (!fixedDrivesOnly_ || IsFixedDrive(rootPaths_[root]));
}

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

void IndexStore::RunScanner() {
  for (bool first = true;; first = false) {
    bool scanned = false;
    for (std::size_t i = 0; i < rootPaths_.size() && !stop_; ++i) {
      bool wanted;
      {
        std::lock_guard lock(pending_[i].lock);
        wanted = pending_[i].scan;
      }
      if (!wanted) continue;
      scanned = true;
      try {
        ScanRoot(i);
      } catch (const std::exception&) {
        // Memory ran out, most likely: the root stays not indexed (its queries walk the disk)
        // and is scanned again after a pause.
        Trace(L"RuvoService: scan failed, trying again: " + rootPaths_[i]);
        Rescan(i);
        if (::WaitForSingleObject(stopEvent_.get(), kRetryMs) != WAIT_TIMEOUT) return;
      }
    }
    if (stop_) return;
    if (first) {
      // The spare capacity of the first, bulk load goes back.
      std::unique_lock lock(lock_);
      index_.ShrinkToFit();
    }
    const HANDLE waits[] = {stopEvent_.get(), scanWanted_.get()};
    if (!scanned && ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
  }
}

void IndexStore::ScanRoot(std::size_t root) {
  Pending& pending = pending_[root];
  for (;;) {
    {
      // What changed before this pass began, the pass sees on disk.
      std::lock_guard lock(pending.lock);
      indexed_[root] = false;
      pending.changes.clear();
      pending.lost = false;
      pending.scan = false;
    }
    UpdateTree(rootPaths_[root], rootEntries_[root], IsServed(root));
    if (stop_ || ApplyPending(root)) break;
  }
  Trace(L"RuvoService: indexed " + rootPaths_[root]);
}

bool IndexStore::ApplyPending(std::size_t root) {
  Pending& pending = pending_[root];
  for (;;) {
    std::vector<Change> batch;
    {
      std::lock_guard lock(pending.lock);
      if (pending.lost || pending.scan) return false;
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
    indexed_[root] = false;
    pending_[root].scan = true;  // a pass under way runs again
  }
  ::SetEvent(scanWanted_.get());
}

void IndexStore::UpdateTree(const std::wstring& path, FileIndex::EntryId id, bool served) {
  std::vector<Folder> folders{{path, id, served && IsEnterableFolder(path)}};
  std::vector<FileIndex::EntryId> emptied;
  while (!folders.empty() && !stop_) {
    const Folder folder = std::move(folders.back());
    folders.pop_back();
    UpdateFolder(folder, folders, emptied);
  }
  // Emptied a piece at a time, these hold nothing more below them.
  for (std::size_t at = emptied.size(); at > 0 && !stop_;) {
    std::unique_lock lock(lock_);
    for (const std::size_t end = at - std::min(at, kChangesPerLock); at > end; --at) index_.Remove(emptied[at - 1]);
  }
}

void IndexStore::UpdateFolder(const Folder& folder, std::vector<Folder>& next, std::vector<FileIndex::EntryId>& emptied) {
  struct Known {
    FileIndex::EntryId id;
    std::u16string name;
    bool isFolder;
  };
  struct Edit {
    enum Kind { kRemove, kRename, kAdd } kind;
    FileIndex::EntryId id;
    std::u16string name;
    bool isFolder;
    bool enter;
  };
  const std::vector<DirectoryEntry> disk = folder.enter ? ListDirectory(folder.path) : std::vector<DirectoryEntry>{};
  std::vector<Edit> edits;
  std::unordered_map<std::u16string, Known> known;
  {
    std::shared_lock lock(lock_);
    for (const FileIndex::EntryId child : index_.Children(folder.id)) {
      std::u16string name = index_.Name(child);
      std::u16string key = FoldLower(name);
      if (!known.try_emplace(std::move(key), Known{child, std::move(name), index_.IsFolder(child)}).second)
        edits.push_back({Edit::kRemove, child, {}, false, false});
    }
  }
  // A case-sensitive folder may hold names that differ in case only: the first one stands for
  // them, as a change notification finds it.
  std::unordered_set<std::u16string> seen;
  std::vector<Edit> additions;
  for (const DirectoryEntry& entry : disk) {
    std::u16string name = U(entry.name);
    std::u16string key = FoldLower(name);
    const bool enter = entry.isFolder && !entry.isReparsePoint;
    const auto it = known.find(key);
    if (!seen.insert(std::move(key)).second) continue;
    if (it != known.end() && it->second.isFolder == entry.isFolder) {
      if (it->second.name != name) edits.push_back({Edit::kRename, it->second.id, std::move(name), false, false});
      if (entry.isFolder) next.push_back({JoinPath(folder.path, entry.name), it->second.id, enter});
      known.erase(it);
    } else {
      additions.push_back({Edit::kAdd, FileIndex::kNone, std::move(name), entry.isFolder, enter});
    }
  }
  for (const auto& [key, gone] : known) {
    // A folder that went with what it held is emptied like any other first, so that no
    // single hold of the lock takes a whole tree.
    if (gone.isFolder) {
      next.push_back({JoinPath(folder.path, W(gone.name)), gone.id, false});
      emptied.push_back(gone.id);
    } else {
      edits.push_back({Edit::kRemove, gone.id, {}, false, false});
    }
  }
  std::move(additions.begin(), additions.end(), std::back_inserter(edits));
  for (std::size_t at = 0; at < edits.size() && !stop_;) {
    std::unique_lock lock(lock_);
    for (const std::size_t end = std::min(edits.size(), at + kChangesPerLock); at < end; ++at) {
      const Edit& edit = edits[at];
      switch (edit.kind) {
        case Edit::kRemove: index_.Remove(edit.id); break;
        case Edit::kRename: index_.Move(edit.id, folder.id, edit.name); break;
        case Edit::kAdd: {
          const FileIndex::EntryId id = index_.Add(folder.id, edit.name, edit.isFolder);
          if (edit.isFolder && id != FileIndex::kNone) next.push_back({JoinPath(folder.path, W(edit.name)), id, edit.enter});
          break;
        }
      }
    }
  }
}

void IndexStore::Submit(Change change) {
  const auto root = RootOf(change.path);
  if (!root) return;
  Pending& pending = pending_[*root];
  std::lock_guard lock(pending.lock);
  // Applied under the lock, so a scan asked for meanwhile begins after it: while a root is
  // scanned, its scan is the only thread that changes its entries.
  if (indexed_[*root]) Apply(change);
  else if (pending.changes.size() < kMaxPendingChanges) pending.changes.push_back(std::move(change));
  else pending.lost = true;
}

void IndexStore::Apply(const Change& change) {
  switch (change.kind) {
    case Change::kAdded: AddNow(change.path); break;
    case Change::kRemoved: RemoveNow(change.path); break;
    case Change::kRenamed: RenameNow(change.from, change.path); break;
  }
}

void IndexStore::Added(const std::wstring& path) { Submit({Change::kAdded, path, {}}); }

void IndexStore::Removed(const std::wstring& path) { Submit({Change::kRemoved, path, {}}); }

void IndexStore::Renamed(const std::wstring& from, const std::wstring& to) { Submit({Change::kRenamed, to, from}); }

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
  if (isFolder && id != FileIndex::kNone) UpdateTree(path, id);
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
