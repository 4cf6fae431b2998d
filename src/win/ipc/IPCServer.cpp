#include "win/ipc/IPCServer.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/Frame.h"
#include "core/TextUtils.h"
#include "win/common/WideText.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/ListeningThread.h"
#include "win/ipc/PipeIo.h"
#include "win/ipc/PipeTimeouts.h"

namespace {

constexpr DWORD kStartupWaitMs = 3000;
constexpr DWORD kStopWaitMs = 3000;
constexpr std::int32_t kMaxRestarts = 5;
constexpr auto kRestartWindow = std::chrono::seconds(30);
constexpr DWORD kPipeDefaultTimeoutMs = 5000;

std::u16string NewContextId() {
  GUID g{};
  ::CoCreateGuid(&g);
  char text[33];
  std::snprintf(text, sizeof text, "%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned long>(g.Data1),
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return Utf8ToUtf16(text);
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
    : FMaxDataSize(kMaxFrameDataSize),
      FConnectionSlots(::CreateSemaphoreW(nullptr, kMaxConnections, kMaxConnections, nullptr)),
      FShutdownEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
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

void TIPCServer::SetMaxDataSize(std::int64_t value) { FMaxDataSize = std::clamp<std::int64_t>(value, 0, kMaxFrameDataSize); }

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
  const DWORD first = FFirstInstanceDue.exchange(false) ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
  return ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | first,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, kPipeDefaultTimeoutMs, security);
}

std::thread TIPCServer::StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

void TIPCServer::Start() {
  std::lock_guard lock(FStateLock);
  if (!OnExecuteRequest) throw EIPCServerError("OnExecuteRequest not assigned");
  if (FStarted) return;
  if (!FSupervisor.joinable()) FSupervisor = StartThread([this] { SupervisorLoop(); });
  FStarted = true;
  // A listener that cannot start now is the supervisor's to start again.
  if (!StartListener()) ::SetEvent(FListenerEndedEvent.get());
}

bool TIPCServer::StartListener() {
  // Listeners stopped earlier whose connections have all ended are let go (their idle
  // workers with them).
  std::erase_if(FRetiredListeners, [](const auto& l) { return l->Finished() && l->BusyWorkers() == 0; });
  // With no instance of ours left, the name is free for anyone: the first one must be new, or
  // the server would join a pipe whose creator (and its security) is someone else. Wine 8
  // takes the flag but never refuses a taken name, so only Windows shows this.
  FFirstInstanceDue = FContextList->Count() == 0 && FRetiredListeners.empty();
  TListeningThread::TCallbacks callbacks;
  callbacks.createInstance = [this](const std::wstring& name, SECURITY_ATTRIBUTES* sa) {
    return UniqueFileHandle(CreatePipeInstance(name, sa));
  };
  callbacks.serveConnection = [this](UniqueFileHandle pipe) {
    // The connection's slot goes back however its serving ends.
    struct SlotReturn {
      HANDLE slots;
      ~SlotReturn() { ::ReleaseSemaphore(slots, 1, nullptr); }
    } slotReturn{FConnectionSlots.get()};
    ServeConnection(std::move(pipe));
  };
  callbacks.reportError = [this](const std::u16string& desc, DWORD code) { ReportError(nullptr, desc, code); };
  callbacks.endedAbnormally = [this] { ::SetEvent(FListenerEndedEvent.get()); };
  try {
    auto listener = std::make_unique<TListeningThread>(
        W(FPipeName), FMinPoolSize, FDynamicPool, std::make_shared<TPipeSecurity>(FPipeAccess), FConnectionSlots.get(),
        std::move(callbacks), [this](std::function<void()> body) { return StartThread(std::move(body)); });
    listener->Start();
    FListeningThread = std::move(listener);
  } catch (const std::exception& e) {
    ReportError(nullptr, Utf8ToUtf16(e.what()), ::GetLastError());
    return false;
  }
  FListening = true;
  // Returns early when the listener failed before its first instance existed.
  const HANDLE waits[2] = {FListeningThread->StartupEvent(), FListeningThread->LoopEndedEvent()};
  ::WaitForMultipleObjects(2, waits, FALSE, kStartupWaitMs);
  return true;
}

void TIPCServer::Stop() {
  std::lock_guard lock(FStateLock);
  FRetryPending = false;
  if (!FStarted) return;
  FStarted = false;
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

DWORD TIPCServer::MsUntilRetry() const {
  std::lock_guard lock(FStateLock);
  if (!FRetryPending) return INFINITE;
  const auto now = std::chrono::steady_clock::now();
  if (now >= FRetryAt) return 0;
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(FRetryAt - now).count()) + 1;
}

void TIPCServer::SupervisorLoop() {
  const HANDLE waits[2] = {FSupervisorStopEvent.get(), FListenerEndedEvent.get()};
  for (;;) {
    const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, MsUntilRetry());
    if (w == WAIT_OBJECT_0 + 1) {
      ListeningThreadTerminated();
    } else if (w == WAIT_TIMEOUT) {
      RetryListener();
    } else {
      return;
    }
  }
}

void TIPCServer::ListeningThreadTerminated() {
  std::lock_guard lock(FStateLock);
  // A Stop is under way, a retry is already set, or the listener that ended is no longer the
  // current one.
  if (!FStarted || FRetryPending || (FListeningThread && !FListeningThread->EndedAbnormally())) return;
  RestartAfterFailure();
}

void TIPCServer::RestartAfterFailure() {
  do {
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
      // The cause may pass (threads or instances to be had again): the next try comes when
      // the window ends, so the process never stays deaf while it could listen.
      FRetryAt = FFirstErrorTime + kRestartWindow;
      FRetryPending = true;
      return;
    }
    ++FNumOfErrors;
  } while (!StartListener());
}

void TIPCServer::RetryListener() {
  std::lock_guard lock(FStateLock);
  if (!FRetryPending) return;
  FRetryPending = false;
  if (!FStarted) return;
  // A new window begins with this try.
  FHasFirstErrorTime = false;
  if (!StartListener()) RestartAfterFailure();
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

bool TIPCServer::ReportWriteFailure(const ICommContext& context, const TFrameResult& sent) {
  if (sent.Ok()) return true;
  switch (sent.failedAt) {
    case TFrameStep::Id: ReportError(context, u"WriteFile failed while writing message ID and data", sent.error); break;
    case TFrameStep::DataSize: ReportError(context, u"WriteFile failed while writing message size", sent.error); break;
    default: ReportError(context, u"WriteFile failed while writing message data", sent.error); break;
  }
  return false;
}

bool TIPCServer::WriteReplies(const ICommContext& context, TPipeIo& io, TFrameBatch& replies) {
  // A client that does not take its replies does not keep the worker either.
  io.SetTimeout(kConnectionIdleTimeoutMs);
  return ReportWriteFailure(context, replies.Flush(io));
}

void TIPCServer::ServeConnection(UniqueFileHandle pipe) {
  ICommContext context = std::make_shared<TCommContext>(pipe.get());
  FContextList->Add(context);
  TPipeIo io(pipe.get(), true, FShutdownEvent.get());
  TFrameLimits limits;
  limits.maxDataSize = FMaxDataSize;
  limits.restTimeoutMs = kConnectionIdleTimeoutMs;
  // A client that writes ahead of its replies has its frames read many at a time.
  TFrameReader reader(io, TFrameReader::kReadAheadSize);
  TFrameBatch replies;  // laid out, not yet written
  try {
    if (OnClientConnect) OnClientConnect(context);
    for (;;) {
      IMessageData request = NewMessageData();
      // An idle connection holds a worker and a slot: the next request begins in time or the
      // connection ends.
      io.SetTimeout(kConnectionIdleTimeoutMs);
      const TFrameResult got = reader.Read(*request, limits);
      if (got.endMarker) break;
      if (!got.Ok()) {
        // Replies are held only while the next frame was whole, so this one failed its checks,
        // not the pipe: the requests before it still get theirs.
        WriteReplies(context, io, replies);
        switch (got.failedAt) {
          case TFrameStep::IdLength: ReportError(context, u"ReadFile failed while reading message ID Length", got.error); break;
          case TFrameStep::Id: ReportError(context, u"ReadFile failed while reading message ID", got.error); break;
          case TFrameStep::DataSize: ReportError(context, u"ReadFile failed while reading message size", got.error); break;
          default: ReportError(context, u"ReadFile failed while reading message data", got.error); break;
        }
        break;
      }
      IMessageData response = NewMessageData();
      std::u16string failure;
      DWORD failureCode = 0;
      try {
        OnExecuteRequest(context, request, response);
      } catch (const std::exception& e) {
        failureCode = ::GetLastError();
        failure = u"Error in OnExecuteTask: " + Utf8ToUtf16(e.what());
      } catch (...) {
        failureCode = ::GetLastError();
        failure = u"Error in OnExecuteTask: unknown exception";
      }
      if (!failure.empty()) {
        WriteReplies(context, io, replies);
        ReportError(context, failure, failureCode);
        break;
      }
      response->Data().Storage().SetPosition(0);
      io.SetTimeout(kConnectionIdleTimeoutMs);
      if (!ReportWriteFailure(context, replies.Add(io, *response))) break;
      // Requests read whole already are answered together once the next one is not: a client
      // that writes ahead takes its replies many at a time, one that waits for each reply gets
      // it at once, and no read waits on the pipe while a reply is held back.
      if (reader.HasWholeFrameBuffered() && replies.Size() < kFrameChunkSize) continue;
      if (!WriteReplies(context, io, replies)) break;
    }
  } catch (const std::exception& e) {
    // The connect event, or the machinery around the handler, failed.
    ReportError(context, Utf8ToUtf16(e.what()), ::GetLastError());
  }
  // No flush before the disconnect: a connection ends only where a frame of the client's was
  // due, so a client that keeps to its turn has read every reply, and one that does not
  // would hold the worker in FlushFileBuffers for as long as it liked.
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
