#pragma once
// Watches one root folder tree with ReadDirectoryChangesW and applies each change to the
// index. When the system reports lost notifications (an empty or failed read), or a change
// cannot be applied (memory ran out), the root is scanned again.
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

  // False when the folder cannot be watched (it is then served by its scan only).
  bool Start();
  // Ends the watch; false when its thread still runs at the tick deadline.
  bool Stop(ULONGLONG deadline);

 private:
  // Puts the next read of changes in flight.
  bool Arm();
  // Ends the read in flight and waits until the system lets go of the buffer.
  void CancelRead();
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
