#pragma once
// Watches one root folder tree with ReadDirectoryChangesW and applies each change to the
// index. When the system reports lost notifications (an empty or failed read), or a change
// cannot be applied (memory ran out), the root is scanned again. A root that goes (deleted,
// renamed away, its volume removed) is let go and looked for again until it is back, then
// watched and scanned anew.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "service/ServiceThread.h"
#include "win/common/Handle.h"

class IndexStore;

class RootWatcher {
 public:
  RootWatcher(IndexStore& store, std::size_t root, std::wstring path);
  ~RootWatcher();
  RootWatcher(const RootWatcher&) = delete;
  RootWatcher& operator=(const RootWatcher&) = delete;

  // False when the watch cannot run at all (no events or thread). A root that is not there
  // yet is watched once it comes.
  bool Start();
  // Ends the watch; false when its thread still runs at the tick deadline.
  bool Stop(ULONGLONG deadline);

  // How often a watched root is checked to be still there (a deletion need not end the read
  // in flight), and an absent root looked for.
  static constexpr DWORD kCheckMs = 1000;

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
  void Apply(const BYTE* buffer, DWORD size);

  IndexStore& store_;
  std::size_t root_;
  std::wstring path_;
  UniqueFileHandle dir_;
  UniqueKernelHandle stopEvent_;
  UniqueKernelHandle ioEvent_;
  std::vector<BYTE> buffer_;  // written by the read in flight
  OVERLAPPED overlapped_{};
  ServiceThread thread_;
};
