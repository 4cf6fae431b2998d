#pragma once
// The service's index: the names under each served root, built by a background scan and kept
// current by one change watcher per root. Readers share a lock; the scan and the watchers
// take it exclusively in short batches, so queries never wait for a whole scan.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "core/FileIndex.h"
#include "service/ServiceThread.h"
#include "win/common/Handle.h"

class RootWatcher;

class IndexStore {
 public:
  explicit IndexStore(std::vector<std::wstring> roots);
  ~IndexStore();
  IndexStore(const IndexStore&) = delete;
  IndexStore& operator=(const IndexStore&) = delete;

  // Starts the watchers and the initial scan in the background.
  void Start();
  // Stops the scan and the watchers; false when one of their threads still runs at the tick
  // deadline (the store must then outlive the process).
  bool Stop(ULONGLONG deadline);
  // How long the destructor's Stop waits.
  static constexpr DWORD kStopMs = 5000;

  const std::vector<std::wstring>& RootPaths() const { return rootPaths_; }
  bool IsRootIndexed(std::size_t root) const;
  bool AllIndexed() const;
  // The root index whose folder holds path (the longest), or none.
  std::optional<std::size_t> RootOf(const std::wstring& path) const;

  // For queries: the index under the shared lock.
  std::shared_mutex& Lock() { return lock_; }
  const FileIndex& Index() const { return index_; }
  FileIndex::EntryId RootEntry(std::size_t root) const { return rootEntries_[root]; }

  // Change handling (from the watchers). Paths are full paths. A change in a root that is
  // being scanned waits and is applied when the scan ends.
  void Added(const std::wstring& path);
  void Removed(const std::wstring& path);
  void Renamed(const std::wstring& from, const std::wstring& to);
  // Drops a root's entries and scans it again (after lost notifications).
  void Rescan(std::size_t root);

  // Changes a root being scanned holds back at most; beyond them it is scanned again.
  static constexpr std::size_t kMaxPendingChanges = 10000;

 private:
  struct Change {
    enum Kind { kAdded, kRemoved, kRenamed } kind;
    std::wstring path;
    std::wstring from;  // kRenamed
  };
  struct Pending {
    std::mutex lock;  // also guards the root's indexed_ flag turning on
    std::vector<Change> changes;
    bool lost = false;  // more than kMaxPendingChanges arrived
  };

  void ScanRoot(std::size_t root);
  // Applies what changed during a scan of root until nothing is left, then counts the root as
  // indexed. False, with nothing applied, when changes were lost and losses are not accepted.
  bool ApplyPending(std::size_t root, bool acceptLoss);
  // Holds the change back when its root is being scanned; true when it was held or lies
  // outside every root.
  bool Defer(Change change);
  void Apply(const Change& change);
  void AddNow(const std::wstring& path);
  void RemoveNow(const std::wstring& path);
  void RenameNow(const std::wstring& from, const std::wstring& to);
  void AddTree(FileIndex::EntryId parent, const std::wstring& folder);

  std::vector<std::wstring> rootPaths_;
  std::vector<FileIndex::EntryId> rootEntries_;
  std::unique_ptr<std::atomic<bool>[]> indexed_;
  std::unique_ptr<Pending[]> pending_;
  mutable std::shared_mutex lock_;
  FileIndex index_;
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<RootWatcher>> watchers_;
  ServiceThread scanner_;
};
