#include "service/RootWatcher.h"

#include <vector>

#include "service/DirectoryWalker.h"
#include "service/IndexStore.h"

namespace {
constexpr DWORD kBufferBytes = 64 * 1024;  // the most a network or local read returns at once
constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
}  // namespace

RootWatcher::RootWatcher(IndexStore& store, std::size_t root, std::wstring path)
    : store_(store), root_(root), path_(std::move(path)) {}

// Its thread uses this object: a watcher is destroyed only once the thread ended, and the
// thread's handle waits for that if Stop was not called.
RootWatcher::~RootWatcher() {
  if (stopEvent_) ::SetEvent(stopEvent_.get());
}

bool RootWatcher::Start() {
  dir_.reset(::CreateFileW(path_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ioEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!dir_ || !stopEvent_ || !ioEvent_) return false;
  thread_ = ServiceThread(L"the watcher", [this] { Run(); });
  return true;
}

bool RootWatcher::Stop(ULONGLONG deadline) {
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  return thread_.Join(deadline);
}

void RootWatcher::Run() {
  std::vector<BYTE> buffer(kBufferBytes);
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = ioEvent_.get();
    ::ResetEvent(ioEvent_.get());
    if (!::ReadDirectoryChangesW(dir_.get(), buffer.data(), kBufferBytes, TRUE, kFilter, nullptr, &ov, nullptr)) {
      ::OutputDebugStringW((L"RuvoService: cannot watch " + path_).c_str());
      return;
    }
    const HANDLE waits[] = {stopEvent_.get(), ioEvent_.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
      ::CancelIo(dir_.get());
      DWORD ignored;
      ::GetOverlappedResult(dir_.get(), &ov, &ignored, TRUE);
      return;
    }
    DWORD bytes = 0;
    const bool ok = ::GetOverlappedResult(dir_.get(), &ov, &bytes, FALSE);
    if (ok && bytes > 0) {
      try {
        Apply(buffer.data(), bytes);
        continue;
      } catch (const std::exception&) {
        // A change that could not be applied is a change lost.
      }
    }
    // The system dropped notifications: only a new scan makes the root exact again.
    ::OutputDebugStringW((L"RuvoService: change notifications lost, rescanning " + path_).c_str());
    store_.Rescan(root_);
  }
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
