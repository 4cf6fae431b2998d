#pragma once
// The service's index: the names under each served root, built by a background scan and kept
// current by one change watcher per root. Readers share a lock; the scan and the watchers
// take it exclusively in short batches, so queries never wait for a whole scan.
//
// A scan updates a root in place: it walks the disk folder by folder and brings the index's
// entries of each folder in line (adds what is new, removes what is gone, keeps what stays),
// so a scan again after lost notifications costs the writer lock only what changed. A root
// counts as indexed (current) only after a pass during which no change was lost.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "core/FileIndex.h"
#include "service/RootWatcher.h"
#include "service/ServiceThread.h"
#include "win/common/Handle.h"

class IndexStore {
 public:
  // fixedDrivesOnly: the roots are drive roots, each served only while it is a fixed drive.
  // recipient: where the device events of the watched roots' handles go.
  explicit IndexStore(std::vector<std::wstring> roots, bool fixedDrivesOnly = false, DeviceRecipient recipient = {});
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
  // Whether the root's contents are to be indexed now (a drive root only while it is a fixed
  // drive); one that is not counts as empty.
  bool IsServed(std::size_t root) const;
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
  // Scans a root again beside its watcher (after lost notifications, or when the root left
  // or came back); until that pass ends without losses the root does not count as indexed.
  void Rescan(std::size_t root);

  // A device event (DBT_*) for the handle registered as notify, from the thread that got it:
  // the watcher of that handle lets its volume go when asked (see RootWatcher::DeviceEvent).
  void DeviceEvent(DWORD type, HDEVNOTIFY notify);

  // Changes a root being scanned holds back at most; beyond them it is scanned again.
  static constexpr std::size_t kMaxPendingChanges = 10000;
  // Index changes made under one hold of the writer lock during a scan.
  static constexpr std::size_t kChangesPerLock = 512;
  // The pause before a scan that failed is tried again.
  static constexpr DWORD kRetryMs = 5000;

 private:
  struct Change {
    enum Kind { kAdded, kRemoved, kRenamed } kind;
    std::wstring path;
    std::wstring from;  // kRenamed
  };
  struct Pending {
    std::mutex lock;  // also guards the root's indexed_ flag and the changes applied at once
    std::vector<Change> changes;
    bool lost = false;  // more than kMaxPendingChanges arrived
    bool scan = false;  // a pass is wanted
  };
  // A folder a scan has still to bring in line; enter is false for one whose disk contents
  // do not count (a reparse point, a folder that is gone).
  struct Folder {
    std::wstring path;
    FileIndex::EntryId id;
    bool enter;
  };

  void RunScanner();
  // Passes over the root until one ends with nothing lost, then counts it as indexed.
  void ScanRoot(std::size_t root);
  // Applies what changed during a pass over root until nothing is left, then counts the root
  // as indexed. False when changes were lost or another pass was asked for meanwhile.
  bool ApplyPending(std::size_t root);
  // Applies the change, or holds it back while its root is being scanned.
  void Submit(Change change);
  void Apply(const Change& change);
  void AddNow(const std::wstring& path);
  void RemoveNow(const std::wstring& path);
  void RenameNow(const std::wstring& from, const std::wstring& to);
  // Brings the index below the folder entry id in line with the disk below path. Only one
  // thread changes a root's entries at a time (its scan, else its watcher), so what it read
  // under the shared lock still holds when it takes the writer lock.
  void UpdateTree(const std::wstring& path, FileIndex::EntryId id, bool served = true);
  // Brings one folder's entries in line; the subfolders to do next go to next, entries of
  // folders that are gone to emptied (removed once empty).
  void UpdateFolder(const Folder& folder, std::vector<Folder>& next, std::vector<FileIndex::EntryId>& emptied);

  std::vector<std::wstring> rootPaths_;
  bool fixedDrivesOnly_;
  std::vector<FileIndex::EntryId> rootEntries_;
  std::unique_ptr<std::atomic<bool>[]> indexed_;
  std::unique_ptr<Pending[]> pending_;
  mutable std::shared_mutex lock_;
  FileIndex index_;
  std::atomic<bool> stop_{false};
  UniqueKernelHandle stopEvent_;
  UniqueKernelHandle scanWanted_;  // auto-reset: a root's scan flag was set
  DeviceRecipient recipient_;
  std::mutex watchersLock_;  // device events come on a thread of their own
  std::vector<std::unique_ptr<RootWatcher>> watchers_;
  ServiceThread scanner_;
};
