#pragma once
// Watches one root folder tree with ReadDirectoryChangesW and applies each change to the
// index. When the system reports lost notifications (an empty or failed read), or a change
// cannot be applied (memory ran out), the root is scanned again. A root that goes (deleted,
// renamed away, its volume removed) is let go and looked for again until it is back, then
// watched and scanned anew; so is one whose volume is to be removed safely, when the system
// asks for its handle.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "service/ServiceThread.h"
#include "win/common/Handle.h"

class IndexStore;

// Where the system sends the device events of a watched root's handle: the service's status
// handle (its control handler) or a window (console mode). Without a handle none are asked for.
struct DeviceRecipient {
  HANDLE handle = nullptr;
  DWORD flags = DEVICE_NOTIFY_WINDOW_HANDLE;
};

class RootWatcher {
 public:
  RootWatcher(IndexStore& store, std::size_t root, std::wstring path, DeviceRecipient recipient = {});
  ~RootWatcher();
  RootWatcher(const RootWatcher&) = delete;
  RootWatcher& operator=(const RootWatcher&) = delete;

  // False when the watch cannot run at all (no events or thread). A root that is not there
  // yet is watched once it comes.
  bool Start();
  // Ends the watch; false when its thread still runs at the tick deadline.
  bool Stop(ULONGLONG deadline);

  // A device event (DBT_*) for a registered handle, from the thread that got it. A removal
  // asked for or under way has the root's handle closed before this returns, so the volume
  // can go; one that failed or ended has the root looked for again. False when the event is
  // not this watcher's.
  bool DeviceEvent(DWORD type, HDEVNOTIFY notify);

  // How often a watched root is checked to be still there (a deletion need not end the read
  // in flight), and an absent root looked for.
  static constexpr DWORD kCheckMs = 1000;
  // How long a device event waits for the watcher to let its handle go.
  static constexpr DWORD kReleaseMs = 3000;

 private:
  // Opens the root and puts the first read in flight; false when it is not there.
  bool Open();
  // Puts the next read of changes in flight.
  bool Arm();
  // Ends the read in flight and waits until the system lets go of the buffer.
  void CancelRead();
  // Closes the root's handle (so that its deletion or its volume's removal can complete) and
  // has its entries brought in line with what is left of it.
  void LetGo();
  // Whether the root's path still names the folder the handle holds.
  bool StillTheRoot() const;
  void Run();
  // One wait while the root is away (gone, or let go for its volume's removal), and a look
  // for it after; false when the watch is to end.
  bool WaitAway();
  void Apply(const BYTE* buffer, DWORD size);

  IndexStore& store_;
  std::size_t root_;
  std::wstring path_;
  DeviceRecipient recipient_;
  UniqueFileHandle dir_;
  // The device events of the volume dir_ is on; kept past the handle's closing for a removal,
  // until the removal failed or ended.
  UniqueDeviceNotify notify_;
  std::atomic<HDEVNOTIFY> notifyId_{nullptr};  // notify_, for the threads that get device events
  bool released_ = false;                      // dir_ closed for a removal
  UniqueKernelHandle stopEvent_;
  UniqueKernelHandle ioEvent_;
  UniqueKernelHandle releaseEvent_;   // auto-reset: a removal wants the handle
  UniqueKernelHandle releasedEvent_;  // auto-reset: the handle is closed
  UniqueKernelHandle reclaimEvent_;   // auto-reset: the removal failed or ended
  std::vector<BYTE> buffer_;  // written by the read in flight
  OVERLAPPED overlapped_{};
  ServiceThread thread_;
};
