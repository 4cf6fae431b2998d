#include "service/RootWatcher.h"

#include <dbt.h>

#include <system_error>
#include <vector>

#include "service/DirectoryWalker.h"
#include "service/IndexStore.h"
#include "win/common/Trace.h"

namespace {
constexpr DWORD kBufferBytes = 64 * 1024;  // the most a network or local read returns at once
constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return ::GetFileInformationByHandle(a, &ia) && ::GetFileInformationByHandle(b, &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}
}  // namespace

RootWatcher::RootWatcher(IndexStore& store, std::size_t root, std::wstring path, DeviceRecipient recipient)
    : store_(store), root_(root), path_(std::move(path)), recipient_(recipient) {}

// Its thread uses this object: a watcher is destroyed only once the thread ended, and the
// thread's handle waits for that if Stop was not called.
RootWatcher::~RootWatcher() {
  if (stopEvent_) ::SetEvent(stopEvent_.get());
}

bool RootWatcher::Start() {
  stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ioEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  releaseEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  releasedEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  reclaimEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!stopEvent_ || !ioEvent_ || !releaseEvent_ || !releasedEvent_ || !reclaimEvent_) return false;
  // The first read is pending before Start returns: the system collects changes for the handle
  // only from then on, and the first scan, which starts next, relies on hearing of every change
  // made behind it.
  Open();
  try {
    thread_ = ServiceThread(L"the watcher", [this] { Run(); });
  } catch (const std::system_error&) {
    if (dir_) CancelRead();  // the read must not outlive the buffer it writes into
    return false;
  }
  return true;
}

bool RootWatcher::Open() {
  if (!store_.IsServed(root_)) return false;
  if (buffer_.empty()) buffer_.resize(kBufferBytes);
  dir_.reset(::CreateFileW(ExtendedPath(path_).c_str(), FILE_LIST_DIRECTORY,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  if (!dir_ || !Arm()) {
    dir_.reset();
    return false;
  }
  // Under Wine 8 no device event is ever sent, so this part is shown by no test there.
  if (recipient_.handle) {
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = dir_.get();
    notify_.reset(::RegisterDeviceNotificationW(recipient_.handle, &filter, recipient_.flags));
    notifyId_ = notify_.get();
  }
  return true;
}

bool RootWatcher::DeviceEvent(DWORD type, HDEVNOTIFY notify) {
  if (!notify || notify != notifyId_.load()) return false;
  switch (type) {
    case DBT_DEVICEQUERYREMOVE:
    case DBT_DEVICEREMOVEPENDING:
      ::ResetEvent(releasedEvent_.get());
      ::SetEvent(releaseEvent_.get());
      ::WaitForSingleObject(releasedEvent_.get(), kReleaseMs);
      break;
    case DBT_DEVICEQUERYREMOVEFAILED:
    case DBT_DEVICEREMOVECOMPLETE:
      ::SetEvent(reclaimEvent_.get());
      break;
    default:
      break;
  }
  return true;
}

void RootWatcher::CancelRead() {
  ::CancelIoEx(dir_.get(), &overlapped_);
  DWORD ignored;
  ::GetOverlappedResult(dir_.get(), &overlapped_, &ignored, TRUE);
}

bool RootWatcher::Arm() {
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = ioEvent_.get();
  ::ResetEvent(ioEvent_.get());
  if (::ReadDirectoryChangesW(dir_.get(), buffer_.data(), kBufferBytes, TRUE, kFilter, nullptr, &overlapped_, nullptr))
    return true;
  Trace(L"RuvoService: cannot watch " + path_);
  return false;
}

bool RootWatcher::StillTheRoot() const {
  UniqueFileHandle now(::CreateFileW(ExtendedPath(path_).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return now && SameFile(now.get(), dir_.get());
}

void RootWatcher::LetGo() {
  Trace(L"RuvoService: root gone, waiting for its return: " + path_);
  notifyId_ = nullptr;
  notify_.reset();
  dir_.reset();
  store_.Rescan(root_);
}

bool RootWatcher::Stop(ULONGLONG deadline) {
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  return thread_.Join(deadline);
}

void RootWatcher::Run() {
  // Each pass waits for the read armed before it; the next is armed before the changes are
  // applied, so none made meanwhile goes unheard.
  std::vector<BYTE> changes;
  for (;;) {
    if (!dir_) {
      if (!WaitAway()) return;
      continue;
    }
    const HANDLE waits[] = {stopEvent_.get(), ioEvent_.get(), releaseEvent_.get()};
    const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, kCheckMs);
    if (woke == WAIT_OBJECT_0 + 2) {
      // The volume is to be removed: the handle goes now, its device events stay, and the
      // root's entries stay until the removal has failed or ended.
      CancelRead();
      dir_.reset();
      released_ = true;
      ::SetEvent(releasedEvent_.get());
      continue;
    }
    if (woke == WAIT_TIMEOUT) {
      // Under Wine a deleted root never ends the read in flight.
      if (!StillTheRoot()) {
        CancelRead();
        LetGo();
      }
      continue;
    }
    if (woke != WAIT_OBJECT_0 + 1) {
      CancelRead();
      return;
    }
    DWORD bytes = 0;
    const bool ok = ::GetOverlappedResult(dir_.get(), &overlapped_, &bytes, FALSE);
    const bool overflow = !ok && ::GetLastError() == ERROR_NOTIFY_ENUM_DIR;
    changes.assign(buffer_.begin(), buffer_.begin() + (ok ? bytes : 0));
    // A root being deleted ends the read with an error, and refuses the next.
    if ((!ok && !overflow && !StillTheRoot()) || !Arm()) {
      LetGo();
      continue;
    }
    if (ok && bytes > 0) {
      try {
        Apply(changes.data(), bytes);
        continue;
      } catch (const std::exception&) {
        // A change that could not be applied is a change lost.
      }
    }
    // The system dropped notifications: only a new scan makes the root exact again.
    Trace(L"RuvoService: change notifications lost, rescanning " + path_);
    store_.Rescan(root_);
  }
}

bool RootWatcher::WaitAway() {
  const HANDLE waits[] = {stopEvent_.get(), releaseEvent_.get(), reclaimEvent_.get()};
  const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, kCheckMs);
  if (woke == WAIT_OBJECT_0 + 1) {
    ::SetEvent(releasedEvent_.get());  // nothing is held
    return true;
  }
  if (woke != WAIT_TIMEOUT && woke != WAIT_OBJECT_0 + 2) return false;
  const bool wasReleased = released_;
  if (released_) {
    // Not opened again while the removal goes on: until it failed or ended, or the root is
    // seen gone.
    const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path_).c_str());
    if (woke == WAIT_TIMEOUT && attributes != INVALID_FILE_ATTRIBUTES) return true;
    released_ = false;
    notifyId_ = nullptr;
    notify_.reset();
  }
  // Back: what it holds now is scanned, what changes from here on is heard. A root let go
  // that is not back is emptied.
  if (Open() || wasReleased) store_.Rescan(root_);
  return true;
}

void RootWatcher::Apply(const BYTE* buffer, DWORD size) {
  std::wstring renamedFrom;
  DWORD offset = 0;
  for (;;) {
    // Every record must lie inside what the system reported.
    if (offset > size || size - offset < offsetof(FILE_NOTIFY_INFORMATION, FileName)) return;
    const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
    if (info->FileNameLength > size - offset - offsetof(FILE_NOTIFY_INFORMATION, FileName)) return;
    const std::wstring path = JoinPath(path_, std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)));
    switch (info->Action) {
      case FILE_ACTION_ADDED: store_.Added(path); break;
      case FILE_ACTION_REMOVED: store_.Removed(path); break;
      case FILE_ACTION_RENAMED_OLD_NAME: renamedFrom = path; break;
      case FILE_ACTION_RENAMED_NEW_NAME:
        if (renamedFrom.empty()) store_.Added(path);
        else store_.Renamed(renamedFrom, path);
        renamedFrom.clear();
        break;
      default: break;
    }
    if (info->NextEntryOffset == 0) break;
    offset += info->NextEntryOffset;
  }
  if (!renamedFrom.empty()) store_.Removed(renamedFrom);  // moved out of the tree
}
