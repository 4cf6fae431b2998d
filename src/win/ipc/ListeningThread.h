#pragma once
// Accepts clients on one pipe name: keeps a pipe instance waiting (in 100 ms slices on its
// connect event and the abort event) and hands every connected instance to its worker pool.
// Each connection takes one count of the server's connection slots (a semaphore) before its
// instance is made; the work gives it back when the connection ends. With every slot taken no
// instance waits, so one client more than the cap finds the pipe busy.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "win/common/Handle.h"
#include "win/ipc/PipeSecurity.h"
#include "win/ipc/TaskPool.h"

class TListeningThread {
 public:
  struct TCallbacks {
    std::function<UniqueFileHandle(const std::wstring& pipeName, SECURITY_ATTRIBUTES* security)> createInstance;
    TTaskPool::TWork serveConnection;
    std::function<void(const std::u16string& desc, DWORD code)> reportError;
    std::function<void()> endedAbnormally;  // runs on the listening thread as it ends
  };

  TListeningThread(std::wstring pipeName, std::int32_t minPoolSize, bool dynamicPool,
                   std::shared_ptr<TPipeSecurity> security, HANDLE connectionSlots, TCallbacks callbacks,
                   TTaskPool::TThreadStarter startThread = TTaskPool::StartThread);
  // Aborts and joins (the pool's busy workers finish their connections first).
  ~TListeningThread();
  TListeningThread(const TListeningThread&) = delete;
  TListeningThread& operator=(const TListeningThread&) = delete;

  // Throws when the thread cannot be created.
  void Start();
  // Signalled once the first pipe instance exists.
  HANDLE StartupEvent() const { return FStartup.get(); }
  // Signalled when the accept loop has ended, normally or not.
  HANDLE LoopEndedEvent() const { return FLoopEnded.get(); }
  void Abort() { ::SetEvent(FAbort.get()); }
  bool EndedAbnormally() const { return FAbnormal.load(); }
  bool Finished() const { return ::WaitForSingleObject(FLoopEnded.get(), 0) == WAIT_OBJECT_0; }
  std::size_t PoolSize() const { return FPool.Size(); }
  std::size_t BusyWorkers() const { return FPool.Busy(); }

 private:
  void Execute();
  // False when the loop must end abnormally.
  bool AcceptOne(HANDLE overlapEvent, bool& aborted);

  const std::wstring FPipeName;
  const std::shared_ptr<TPipeSecurity> FSecurity;
  const HANDLE FConnectionSlots;
  const TCallbacks FCallbacks;
  const TTaskPool::TThreadStarter FStartThread;
  TTaskPool FPool;
  UniqueKernelHandle FAbort;
  UniqueKernelHandle FStartup;
  UniqueKernelHandle FLoopEnded;
  std::atomic<bool> FAbnormal{false};
  bool FPipeCreated = false;
  std::thread FThread;
};
