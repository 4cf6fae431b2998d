#include "win/ipc/ListeningThread.h"

#include <exception>

#include "core/TextUtils.h"

namespace {
constexpr DWORD kConnectWaitSliceMs = 100;
}

TListeningThread::TListeningThread(std::wstring pipeName, std::int32_t minPoolSize, bool dynamicPool,
                                   std::shared_ptr<TPipeSecurity> security, TCallbacks callbacks)
    : FPipeName(std::move(pipeName)),
      FSecurity(std::move(security)),
      FCallbacks(std::move(callbacks)),
      FPool(minPoolSize, dynamicPool, FCallbacks.serveConnection),
      FAbort(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FStartup(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FLoopEnded(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TListeningThread::~TListeningThread() {
  Abort();
  if (FThread.joinable()) FThread.join();
  FPool.Shutdown();
}

void TListeningThread::Start() { FThread = std::thread([this] { Execute(); }); }

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
  if (!connected && err == ERROR_IO_PENDING) {
    const HANDLE waits[2] = {overlapEvent, FAbort.get()};
    for (;;) {
      const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, kConnectWaitSliceMs);
      if (w == WAIT_TIMEOUT) continue;
      if (w == WAIT_OBJECT_0) {
        DWORD unused = 0;
        connected = ::GetOverlappedResult(pipe.get(), &ov, &unused, FALSE) != FALSE;
        err = connected ? ERROR_SUCCESS : ::GetLastError();
        break;
      }
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
    // The worker owns the instance from here on.
    FPool.Execute(std::move(pipe));
    return true;
  }
  FCallbacks.reportError(u"Error waiting for Pipe to connect", err);
  ::DisconnectNamedPipe(pipe.get());
  return true;
}
