#include "win/ipc/IPCServer.h"

#include <objbase.h>

#include <cstdio>
#include <map>

#include "core/TextUtils.h"
#include "win/common/WideText.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/ListeningThread.h"
#include "win/ipc/PipeIo.h"

namespace {

constexpr DWORD kStartupWaitMs = 3000;
constexpr DWORD kStopWaitMs = 3000;
constexpr std::int32_t kMaxRestarts = 5;
constexpr auto kRestartWindow = std::chrono::seconds(30);
constexpr DWORD kPipeBufferSize = 1024;
constexpr DWORD kPipeDefaultTimeoutMs = 5000;
constexpr DWORD kLingerMs = 1000;

std::u16string NewContextId() {
  GUID g{};
  ::CoCreateGuid(&g);
  char text[33];
  std::snprintf(text, sizeof text, "%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned long>(g.Data1),
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return Utf8ToUtf16(text);
}

// Before the instance is disconnected (which drops what the client has not read), the client
// gets a moment to take the last reply and close its end. Not FlushFileBuffers: it waits
// without limit for a client that never reads, and ignores the shutdown.
void AwaitClientLeaving(HANDLE pipe, HANDLE shutdown) {
  UniqueKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return;
  OVERLAPPED ov{};
  ov.hEvent = done.get();
  std::uint8_t byte;
  // Ends when the client closes its end (or sends more, which is not waited for either).
  if (!::ReadFile(pipe, &byte, 1, nullptr, &ov) && ::GetLastError() == ERROR_IO_PENDING) {
    const HANDLE waits[2] = {done.get(), shutdown};
    if (::WaitForMultipleObjects(2, waits, FALSE, kLingerMs) != WAIT_OBJECT_0) ::CancelIo(pipe);
    DWORD ignored;
    ::GetOverlappedResult(pipe, &ov, &ignored, TRUE);
  }
}

}  // namespace

// The contexts of the open connections, keyed by context ID.
class TContextList {
 public:
  void Add(const ICommContext& context) {
    CsLock lock(FLock);
    FContexts[context->ID()] = context;
  }
  void Remove(const ICommContext& context) {
    CsLock lock(FLock);
    FContexts.erase(context->ID());
  }
  void Clear() {
    CsLock lock(FLock);
    FContexts.clear();
  }
  std::size_t Count() {
    CsLock lock(FLock);
    return FContexts.size();
  }

 private:
  CriticalSection FLock;
  std::map<std::u16string, ICommContext> FContexts;
};

TCommContext::TCommContext(HANDLE pipe) : FID(NewContextId()), FPipe(pipe) {}

TIPCServer::TIPCServer()
    : FShutdownEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      FListenerEndedEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FSupervisorStopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      FContextList(std::make_unique<TContextList>()) {}

TIPCServer::~TIPCServer() { Shutdown(); }

void TIPCServer::Shutdown() {
  ::SetEvent(FSupervisorStopEvent.get());
  if (FSupervisor.joinable()) FSupervisor.join();
  Stop();
  // Connections still being served end now: their blocked reads and writes are cancelled.
  ::SetEvent(FShutdownEvent.get());
  FRetiredListeners.clear();
}

void TIPCServer::SetServerName(std::u16string_view name) {
  FServerName = name;
  FPipeName = u"\\\\.\\pipe\\" + FServerName;
}

bool TIPCServer::Listening() const {
  std::lock_guard lock(FStateLock);
  return FListening;
}

std::size_t TIPCServer::PoolSize() const {
  std::lock_guard lock(FStateLock);
  return FListeningThread ? FListeningThread->PoolSize() : 0;
}

std::size_t TIPCServer::ConnectionCount() const { return FContextList->Count(); }

HANDLE TIPCServer::CreatePipeInstance(const std::wstring& pipeName, SECURITY_ATTRIBUTES* security) {
  return ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, kPipeDefaultTimeoutMs, security);
}

void TIPCServer::Start() {
  std::lock_guard lock(FStateLock);
  if (!OnExecuteRequest) throw EIPCServerError("OnExecuteRequest not assigned");
  if (FListening) return;
  // Listeners stopped earlier whose connections have all ended are let go (their idle
  // workers with them).
  std::erase_if(FRetiredListeners, [](const auto& l) { return l->Finished() && l->BusyWorkers() == 0; });
  auto security = std::make_shared<TPipeSecurity>(FPipeAccess);
  TListeningThread::TCallbacks callbacks;
  callbacks.createInstance = [this](const std::wstring& name, SECURITY_ATTRIBUTES* sa) {
    return UniqueFileHandle(CreatePipeInstance(name, sa));
  };
  callbacks.serveConnection = [this](UniqueFileHandle pipe) { ServeConnection(std::move(pipe)); };
  callbacks.reportError = [this](const std::u16string& desc, DWORD code) { ReportError(nullptr, desc, code); };
  callbacks.endedAbnormally = [this] { ::SetEvent(FListenerEndedEvent.get()); };
  FListeningThread = std::make_unique<TListeningThread>(W(FPipeName), FMinPoolSize, FDynamicPool, std::move(security),
                                                        std::move(callbacks));
  FListening = true;
  if (!FSupervisor.joinable()) FSupervisor = std::thread([this] { SupervisorLoop(); });
  FListeningThread->Start();
  // Returns early when the listener failed before its first instance existed.
  const HANDLE waits[2] = {FListeningThread->StartupEvent(), FListeningThread->LoopEndedEvent()};
  ::WaitForMultipleObjects(2, waits, FALSE, kStartupWaitMs);
}

void TIPCServer::Stop() {
  std::lock_guard lock(FStateLock);
  if (!FListening) return;
  FListening = false;
  if (FListeningThread) {
    FListeningThread->Abort();
    ::WaitForSingleObject(FListeningThread->LoopEndedEvent(), kStopWaitMs);
  }
  RetireListener();
  FContextList->Clear();
}

void TIPCServer::Restart() {
  Stop();
  Start();
}

void TIPCServer::RetireListener() {
  // A listener that has not ended yet is kept (and joined when the server goes), never killed.
  if (FListeningThread) FRetiredListeners.push_back(std::move(FListeningThread));
}

void TIPCServer::SupervisorLoop() {
  const HANDLE waits[2] = {FSupervisorStopEvent.get(), FListenerEndedEvent.get()};
  while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) ListeningThreadTerminated();
}

void TIPCServer::ListeningThreadTerminated() {
  std::lock_guard lock(FStateLock);
  // A Stop is under way, or the listener that ended is no longer the current one.
  if (!FListening || !FListeningThread || !FListeningThread->EndedAbnormally()) return;
  ReportError(nullptr, u"Listening thread was terminated abnormally!", 0);
  const auto now = std::chrono::steady_clock::now();
  if (!FHasFirstErrorTime || now - FFirstErrorTime > kRestartWindow) {
    FFirstErrorTime = now;
    FHasFirstErrorTime = true;
    FNumOfErrors = 0;
  }
  FListening = false;
  RetireListener();
  FContextList->Clear();
  if (FNumOfErrors >= kMaxRestarts) {
    ReportError(nullptr, u"Tried to restart listening thread to many times!", 0);
    return;
  }
  ++FNumOfErrors;
  try {
    Start();
  } catch (const std::exception& e) {
    ReportError(nullptr, Utf8ToUtf16(e.what()), ::GetLastError());
  }
}

void TIPCServer::ReportError(const ICommContext& context, std::u16string_view desc, DWORD code) {
  if (!OnServerError) return;
  TServerError error;
  error.Code = code;
  error.Desc = desc;
  try {
    OnServerError(context, error);
  } catch (...) {
    // A failing error report must not take the server's threads down.
  }
}

void TIPCServer::ServeConnection(UniqueFileHandle pipe) {
  ICommContext context = std::make_shared<TCommContext>(pipe.get());
  FContextList->Add(context);
  TPipeIo io(pipe.get(), true, FShutdownEvent.get());
  try {
    if (OnClientConnect) OnClientConnect(context);
    for (;;) {
      IMessageData request = NewMessageData();
      const TFrameResult got = ReadFrame(io, *request);
      if (got.endMarker) break;
      if (!got.Ok()) {
        switch (got.failedAt) {
          case TFrameStep::IdLength: ReportError(context, u"ReadFile failed while reading message ID Length", got.error); break;
          case TFrameStep::Id: ReportError(context, u"ReadFile failed while reading message ID", got.error); break;
          case TFrameStep::DataSize: ReportError(context, u"ReadFile failed while reading message size", got.error); break;
          default: ReportError(context, u"ReadFile failed while reading message data", got.error); break;
        }
        break;
      }
      IMessageData response = NewMessageData();
      try {
        OnExecuteRequest(context, request, response);
      } catch (const std::exception& e) {
        response->Data().Storage().SetPosition(0);
        ReportError(context, u"Error in OnExecuteTask: " + Utf8ToUtf16(e.what()), ::GetLastError());
        break;
      } catch (...) {
        response->Data().Storage().SetPosition(0);
        ReportError(context, u"Error in OnExecuteTask: unknown exception", ::GetLastError());
        break;
      }
      response->Data().Storage().SetPosition(0);
      const TFrameResult sent = WriteFrame(io, *response);
      if (!sent.Ok()) {
        switch (sent.failedAt) {
          case TFrameStep::Id: ReportError(context, u"WriteFile failed while writing message ID and data", sent.error); break;
          case TFrameStep::DataSize: ReportError(context, u"WriteFile failed while writing message size", sent.error); break;
          default: ReportError(context, u"WriteFile failed while writing message data", sent.error); break;
        }
        break;
      }
    }
  } catch (const std::exception& e) {
    // The connect event, or the machinery around the handler, failed.
    ReportError(context, Utf8ToUtf16(e.what()), ::GetLastError());
  }
  AwaitClientLeaving(pipe.get(), FShutdownEvent.get());
  if (OnClientDisconnect) {
    try {
      OnClientDisconnect(context);
    } catch (const std::exception& e) {
      ReportError(context, Utf8ToUtf16(e.what()), ::GetLastError());
    }
  }
  FContextList->Remove(context);
  ::DisconnectNamedPipe(pipe.get());
}
