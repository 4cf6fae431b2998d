// The hook thread's loop: paced scans, size checks, retiring destroyed windows and the
// service check. Between passes it waits for the earliest of them to fall due.
#include "app/HookThread.h"

#include <algorithm>
#include <optional>
#include <string>

#include "app/MainForm.h"
#include "core/SearchMessages.h"
#include "win/common/WideText.h"
#include "win/common/Trace.h"

void THookThread::Execute() {
  try {
    FReceiveResultServer->Start();
  } catch (const std::exception& e) {
    // Without its result pipe the program would search and never show an answer: the user is
    // told and the program ends, rather than running on deaf.
    TraceUtf8(std::string("ReceiveResultServer start failed: ") + e.what());
    Synchronize([this] {
      ::MessageBoxW(FOwner->Handle(), L"无法接收搜索结果，程序即将退出。", TfrmRuvoSearch::kCaption, MB_ICONERROR);
      FOwner->Close();
    });
    return;
  }
  AddExplorerWindows();
  DWORD lastScan = 0;
  DWORD lastServiceCall = 0;
  FCheckService = true;
  while (!Terminated()) {
    LoopPass(lastScan, lastServiceCall);
    // Idle until the next duty falls due; new work and Terminate signal FLoopWake sooner.
    ::WaitForSingleObject(FLoopWake.get(), MsUntilNextDuty(lastScan, lastServiceCall));
  }
}

DWORD THookThread::MsUntilNextDuty(DWORD lastScan, DWORD lastServiceCall) {
  const DWORD now = ::GetTickCount();
  const auto until = [now](DWORD since, DWORD interval) {
    const DWORD elapsed = now - since;
    return elapsed >= interval ? 0 : interval - elapsed;
  };
  DWORD wait = until(lastScan, kScanInterval);
  if (const DWORD sizeTick = FCheckSizeTick; sizeTick != 0) wait = std::min(wait, until(sizeTick, kSizeCheckDelay));
  if (FCheckService) {
    // While connected the check has nothing to do until a request closes the connection, and
    // that request wakes the loop.
    std::lock_guard<std::mutex> g(FClientLock);
    if (!FSendRequestClient->IsConnected())
      wait = std::min(wait, lastServiceCall == 0 ? 0 : until(lastServiceCall, kServiceCallInterval));
  }
  return wait;
}

void THookThread::LoopPass(DWORD& lastScan, DWORD& lastServiceCall) {
  if (lastScan == 0 || ::GetTickCount() - lastScan >= kScanInterval) {
    {
      CsLock lock(FLock);
      Synchronize([this] { ScanHookWindows(); });
    }
    lastScan = ::GetTickCount();
  }

  const DWORD sizeTick = FCheckSizeTick;
  if (sizeTick != 0 && ::GetTickCount() - sizeTick >= kSizeCheckDelay) {
    CsLock lock(FLock);
    Synchronize([this] { CheckResultViewSize(); });
  }

  DrainDestroyedWindows();
  if (FCheckService) CheckService(lastServiceCall);
}

void THookThread::DrainDestroyedWindows() {
  for (;;) {
    std::uint32_t handle;
    {
      std::lock_guard<std::mutex> g(FDestroyLock);
      if (FDestroyWndList.empty()) return;
      handle = FDestroyWndList.front();
    }
    if (handle != 0) {
      CsLock lock(FLock);
      // The main thread registers windows without FLock, so the list is read and changed
      // only there; the request to the service goes out from this thread in between.
      const std::u16string key = WindowKey(handle);
      std::optional<std::uint32_t> mainForm;
      Synchronize([&] {
        const int index = FWindowList->GetIndex(key);
        if (index < 0) return;
        Trace(L"CBTHookDestroyWnd " + std::to_wstring(index) + L" > -1");
        mainForm = FWindowList->GetByIndex(index)->MainForm;
      });
      if (mainForm) {
        SendRequest(BuildCancelRequest(*mainForm), false);
        Synchronize([&] {
          const int index = FWindowList->GetIndex(key);
          if (index > -1) FWindowList->Delete(index);
        });
      }
    }
    std::lock_guard<std::mutex> g(FDestroyLock);
    FDestroyWndList.pop_front();
  }
}

void THookThread::CheckService(DWORD& lastServiceCall) {
  if (TryConnectClient()) return;  // reachable: stays connected, the check stays pending
  if (lastServiceCall != 0 && ::GetTickCount() - lastServiceCall < kServiceCallInterval) return;
  // Cleared before the handler runs: a failed search that asks for a check meanwhile keeps
  // its request instead of having it wiped once the handler returns.
  FCheckService = false;
  {
    std::lock_guard<std::mutex> g(FClientLock);
    Trace(L"service not reachable: " + W(FSendRequestClient->ErrorDesc()));
  }
  Synchronize([this] { DoServiceNotRun(); });
  if (FSuccessed) {
    lastServiceCall = ::GetTickCount();
  } else if (FRetryServiceCheck.exchange(false)) {
    FCheckService = true;
    lastServiceCall = ::GetTickCount();
  } else {
    Terminate();
  }
}
