#include "win/ipc/ListeningThread.h"

#include <exception>

#include "core/TextUtils.h"

TListeningThread::TListeningThread(std::wstring pipeName, std::int32_t minPoolSize, bool dynamicPool,
                                   std::shared_ptr<TPipeSecurity> security, HANDLE connectionSlots,
                                   TCallbacks callbacks, TTaskPool::TThreadStarter startThread)
    : FPipeName(std::move(pipeName)),
      FSecurity(std::move(security)),
      FConnectionSlots(connectionSlots),
      FCallbacks(std::move(callbacks)),
      FStartThread(std::move(startThread)),
      FPool(minPoolSize, dynamicPool, FCallbacks.serveConnection, FStartThread),
      FAbort(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FStartup(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FLoopEnded(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TListeningThread::~TListeningThread() {
  Abort();
  if (FThread.joinable()) FThread.join();
  FPool.Shutdown();
}

void TListeningThread::Start() { FThread = FStartThread([this] { Execute(); }); }

void TListeningThread::Execute() {
  UniqueKernelHandle overlapEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  bool aborted = false;
  bool ok = true;
  try {
    while (ok && !aborted) ok = AcceptOne(overlapEvent.get(), aborted);
  } catch (const std::exception& e) {
    const DWORD code = ::GetLastError();
    FCallbacks.reportError(Utf8ToUtf16(e.what()), code);
    ok = false;
  }
  FAbnormal.store(!ok);
  ::SetEvent(FLoopEnded.get());
  if (!ok) FCallbacks.endedAbnormally();
}

bool TListeningThread::AcceptOne(HANDLE overlapEvent, bool& aborted) {
  // A slot first: at the cap no instance is made until a connection ends.
  const HANDLE slotWaits[2] = {FAbort.get(), FConnectionSlots};
  const DWORD slot = ::WaitForMultipleObjects(2, slotWaits, FALSE, INFINITE);
  if (slot == WAIT_OBJECT_0) {
    aborted = true;
    return true;
  }
  if (slot != WAIT_OBJECT_0 + 1) {
    FCallbacks.reportError(u"Error waiting for a connection slot", ::GetLastError());
    return false;
  }
  bool slotHandedOn = false;
  struct SlotRelease {
    HANDLE slots;
    const bool& handedOn;
    ~SlotRelease() {
      if (!handedOn) ::ReleaseSemaphore(slots, 1, nullptr);
    }
  } slotRelease{FConnectionSlots, slotHandedOn};

  UniqueFileHandle pipe = FCallbacks.createInstance(FPipeName, FSecurity->Attributes());
  if (!pipe) {
    FCallbacks.reportError(u"Could not create new pipe instance.", ::GetLastError());
    return false;
  }
  if (!FPipeCreated) {
    FPipeCreated = true;
    ::SetEvent(FStartup.get());
  }
  OVERLAPPED ov{};
  ov.hEvent = overlapEvent;
  bool connected = ::ConnectNamedPipe(pipe.get(), &ov) != FALSE;
  DWORD err = connected ? ERROR_SUCCESS : ::GetLastError();
  // With an instance waiting, the workers that ended are let go.
  FPool.JoinFinished();
  if (!connected && err == ERROR_IO_PENDING) {
    const HANDLE waits[2] = {overlapEvent, FAbort.get()};
    // No time-out: the abort event ends the wait, so an idle listener never wakes.
    const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (w == WAIT_OBJECT_0) {
      DWORD unused = 0;
      connected = ::GetOverlappedResult(pipe.get(), &ov, &unused, FALSE) != FALSE;
      err = connected ? ERROR_SUCCESS : ::GetLastError();
    } else {
      // Told to stop (or the wait itself failed): the pending connect must end before the
      // OVERLAPPED goes away.
      err = ::GetLastError();
      ::CancelIo(pipe.get());
      DWORD unused = 0;
      ::GetOverlappedResult(pipe.get(), &ov, &unused, TRUE);
      ::DisconnectNamedPipe(pipe.get());
      if (w == WAIT_OBJECT_0 + 1) {
        aborted = true;
        return true;
      }
      FCallbacks.reportError(u"Error waiting for Pipe to connect", err);
      return false;
    }
  }
  if (connected || err == ERROR_PIPE_CONNECTED) {
    // The worker owns the instance and the slot from here on.
    slotHandedOn = true;
    if (!FPool.Execute(std::move(pipe))) {
      slotHandedOn = false;
      FCallbacks.reportError(u"No worker thread could be started for the connection", ERROR_NOT_ENOUGH_MEMORY);
    }
    return true;
  }
  FCallbacks.reportError(u"Error waiting for Pipe to connect", err);
  ::DisconnectNamedPipe(pipe.get());
  return true;
}
