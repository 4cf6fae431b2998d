#include "app/HookThread.h"

#include "app/MainForm.h"
#include "core/SearchMessages.h"
#include "win/common/TimerResolutionScope.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {
// The connect budget (kConnectTimeout) is spent in pipe waits and 1 ms pauses between tries,
// which the default timer tick would each stretch to a whole tick, leaving the budget one try.
// Nothing else in the program needs a timer finer than the default.
constexpr UINT kConnectTimerMs = 1;
}  // namespace

THookThread::THookThread(TfrmRuvoSearch* owner) : FOwner(owner) {
  FWindowList = std::make_unique<THashListEx<TWindowRec>>();
  FWindowList->OnDelete = [this](TWindowRec* rec) { WindowListDelete(rec); };
  FSendRequestClient = std::make_unique<TServiceRequestClient>();
  // The reply waits under FLock (DrainDestroyedWindows), so a stalled service holds it only
  // this long; the service answers a request at once.
  FSendRequestClient->SetReplyTimeout(kRequestReplyTimeout);
  // The service's replies are empty; whoever answers in its place gets no more room than a request.
  FSendRequestClient->SetMaxReplySize(kMaxRequestDataSize);
  FReceiveResultServer = std::make_unique<TIPCServer>();
  FReceiveResultServer->SetServerName(kSearchResultPipe);
  FReceiveResultServer->SetMaxDataSize(kMaxResultDataSize);
  FReceiveResultServer->OnExecuteRequest = [this](const ICommContext& context, const IMessageData& request,
                                                  const IMessageData& response) {
    ReceiveResultServerExecuteRequest(context, request, response);
  };
  FCBTHook = std::make_unique<TCBTHookReceiver>();
  FCBTHook->SetHookDLL(ExeDirectory() + L"RuvoSearch.dll");
  FCBTHook->OnHookMessage = [this](TSysHookReceiver&, MSG& msg, bool& handled) { CBTHookHookMessage(msg, handled); };
  FCBTHook->OnCreateWnd = [this](TCBTHookReceiver&, HWND window) { CBTHookCreateWnd(window); };
  FCBTHook->OnDestroyWnd = [this](TCBTHookReceiver&, HWND window) { CBTHookDestroyWnd(window); };
  FCBTHook->OnSetFocus = [this](TCBTHookReceiver&, HWND newWindow, HWND oldWindow) {
    CBTHookSetFocus(newWindow, oldWindow);
  };
}

THookThread::~THookThread() {
  // The owner has terminated and waited for the loop. End the result server first, so no
  // worker runs the result handler against the records and the lock freed below; a worker
  // may be waiting for the main thread, so the main thread serves it meanwhile.
  MainThread::RunWhileServing([this] { FReceiveResultServer.reset(); });
  FCBTHook.reset();
  {
    std::lock_guard<std::mutex> g(FClientLock);
    if (IsReallyWindows8OrGreater())
      FSendRequestClient.reset();
    else if (FSendRequestClient->IsConnected())
      FSendRequestClient->DisconnectClient();
  }
  FWindowList.reset();
}

TUpdateInfoRec THookThread::UpdateInfo() const {
  std::lock_guard<std::mutex> g(FUpdateLock);
  return FUpdateInfo;
}

void THookThread::RequestServiceCheck() {
  FCheckService = true;
  WakeLoop();
}

void THookThread::RequestSizeCheck() {
  FNeedCheckSize = true;
  ScheduleSizeCheck();
}

void THookThread::ScheduleSizeCheck() {
  FCheckSizeTick = ::GetTickCount();
  WakeLoop();
}

void THookThread::QueueDestroyedWindow(std::uint32_t handle) {
  {
    std::lock_guard<std::mutex> g(FDestroyLock);
    FDestroyWndList.push_back(handle);
  }
  WakeLoop();
}

void THookThread::WakeLoop() { ::SetEvent(FLoopWake.get()); }

void THookThread::TerminatedSet() { WakeLoop(); }

bool THookThread::SendRequest(const IMessageData& request, bool checkServiceOnFailure) {
  std::lock_guard<std::mutex> g(FClientLock);
  const TimerResolutionScope timer(kConnectTimerMs);
  // A connection the service check left open goes stale when the service restarts; when
  // nothing went out over it, a new connection gets the request once more.
  bool reused = FSendRequestClient->IsConnected();
  for (;;) {
    if (!FSendRequestClient->IsConnected()) FSendRequestClient->ConnectClient(kConnectTimeout);
    if (!FSendRequestClient->IsConnected()) {
      if (checkServiceOnFailure) RequestServiceCheck();
      return false;
    }
    const IMessageData reply = FSendRequestClient->ExecuteConnectedRequest(request);
    const bool answered = reply && FSendRequestClient->AnswerValid();
    FSendRequestClient->DisconnectClient();
    // A pending service check keeps a connection open for the next request.
    if (FCheckService) WakeLoop();
    if (reply || !reused) return answered;
    reused = false;
  }
}

bool THookThread::TryConnectClient() {
  std::lock_guard<std::mutex> g(FClientLock);
  if (FSendRequestClient->IsConnected()) return true;
  const TimerResolutionScope timer(kConnectTimerMs);
  FSendRequestClient->ConnectClient(kConnectTimeout);
  return FSendRequestClient->IsConnected();
}

void THookThread::DoServiceNotRun() {
  if (OnServiceNotRun) OnServiceNotRun(this, FSuccessed);
}

