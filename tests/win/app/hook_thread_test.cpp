// The hook thread's loop, driven in-process: pacing of scans, the service check's budget,
// retiring destroyed windows, and shutting down while the loop waits for the main thread.
#include <gtest/gtest.h>

#include <memory>

#include <atomic>
#include <thread>
#include <vector>

#include "RequestRecorder.h"
#include "TestProcess.h"
#include "app/HookThread.h"
#include "core/SearchMessages.h"
#include "win/ipc/PipeTimeouts.h"

using testing_support::PumpFor;
using testing_support::RequestRecorder;
using testing_support::WaitUntil;

namespace {

class TTestHookThread : public THookThread {
 public:
  TTestHookThread() : THookThread(nullptr) {}
  // A test that stops at a failed assertion must not leave the loop running on a dead object.
  ~TTestHookThread() override {
    Terminate();
    WaitFor();
  }
  std::vector<DWORD> scanTicks;
  std::atomic<int> scansOffMainThread{0};

 protected:
  void ScanHookWindows() override {
    if (!MainThread::IsCurrent()) ++scansOffMainThread;
    scanTicks.push_back(::GetTickCount());
  }
};

void StopAndWait(THookThread& t) {
  t.Terminate();
  t.WaitFor();
}

TEST(HookThread, ScansArePacedAt200msOnTheMainThread) {
  MainThread::Init();
  RequestRecorder service;  // reachable service: the loop never stops on its own
  TTestHookThread t;
  t.Start();
  PumpFor(1100);
  StopAndWait(t);
  ASSERT_GE(t.scanTicks.size(), 3u);
  EXPECT_LE(t.scanTicks.size(), 7u);
  for (std::size_t i = 1; i < t.scanTicks.size(); ++i) EXPECT_GE(t.scanTicks[i] - t.scanTicks[i - 1], 200u) << i;
  EXPECT_EQ(t.scansOffMainThread, 0);
}

TEST(HookThread, UnreachableServiceCallsHandlerAtMostEvery5000ms) {
  MainThread::Init();
  TTestHookThread t;
  std::vector<DWORD> calls;
  t.OnServiceNotRun = [&](THookThread* sender, bool& successed) {
    EXPECT_EQ(sender, &t);
    EXPECT_TRUE(MainThread::IsCurrent());
    calls.push_back(::GetTickCount());
    successed = true;
  };
  const DWORD start = ::GetTickCount();
  t.Start();
  ASSERT_TRUE(WaitUntil([&] { return calls.size() == 1; }, 3000));
  EXPECT_LT(calls[0] - start, 3000u);  // in the first pass, not after a 5000 ms pause
  // A failed search re-arms the check right away; the next call still waits out 5000 ms.
  t.RequestServiceCheck();
  ASSERT_TRUE(WaitUntil([&] { return calls.size() == 2; }, 8000));
  EXPECT_GE(calls[1] - calls[0], 5000u);
  PumpFor(300);
  EXPECT_EQ(calls.size(), 2u);  // answered true: the check is over
  EXPECT_FALSE(t.Finished());
  StopAndWait(t);
}

TEST(HookThread, HandlerAnsweringFalseEndsTheLoop) {
  MainThread::Init();
  TTestHookThread t;
  int calls = 0;
  t.OnServiceNotRun = [&](THookThread*, bool& successed) {
    ++calls;
    successed = false;
  };
  t.Start();
  ASSERT_TRUE(WaitUntil([&] { return t.Finished(); }, 3000));
  EXPECT_EQ(calls, 1);
  StopAndWait(t);
}

TEST(HookThread, NoHandlerAndNoServiceEndsTheLoop) {
  MainThread::Init();
  TTestHookThread t;
  t.Start();
  EXPECT_TRUE(WaitUntil([&] { return t.Finished(); }, 3000));
  StopAndWait(t);
}

TEST(HookThread, DestroyedWindowSendsOneCancelAndDeletesTheRecord) {
  MainThread::Init();
  RequestRecorder service;
  TTestHookThread t;
  auto* rec = new TWindowRec;
  rec->MainForm = 0x10020;
  t.WindowList().AddItem(WindowKey(rec->MainForm), rec);
  t.Start();
  t.QueueDestroyedWindow(0x10020);
  t.QueueDestroyedWindow(0x10020);  // the second finds no record and is dropped
  t.QueueDestroyedWindow(777);      // never registered
  ASSERT_TRUE(WaitUntil([&] { return t.WindowList().Count() == 0; }, 3000));
  PumpFor(500);
  StopAndWait(t);
  const auto cancels = service.Messages(kActionCancel);
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0].SearchBox, 0x10020u);
}

TEST(HookThread, ARequestOverAConnectionLeftStaleByAServiceRestartGoesOut) {
  MainThread::Init();
  auto service = std::make_unique<RequestRecorder>();
  TTestHookThread t;
  t.Start();
  PumpFor(500);  // the first pass connects and keeps the connection
  service = nullptr;                     // the service restarts
  service = std::make_unique<RequestRecorder>();
  EXPECT_TRUE(t.SendRequest(BuildCancelRequest(77), false));
  const auto cancels = service->Messages(kActionCancel);
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0].SearchBox, 77u);
  // With no service at all the request reports its failure.
  service = nullptr;
  EXPECT_FALSE(t.SendRequest(BuildCancelRequest(78), false));
  StopAndWait(t);
}

TEST(HookThread, TerminatingWhileASynchronisedCallWaitsCompletes) {
  MainThread::Init();
  RequestRecorder service;
  TTestHookThread t;
  t.Start();
  // Do not serve the main thread: the first scan stays queued, the loop blocked on it.
  ::Sleep(300);
  EXPECT_TRUE(t.scanTicks.empty());
  const DWORD start = ::GetTickCount();
  StopAndWait(t);  // must run the pending call, or this deadlocks
  EXPECT_LT(::GetTickCount() - start, 5000u);
  EXPECT_EQ(t.scanTicks.size(), 1u);
  EXPECT_TRUE(t.Finished());
}

// A service that takes each request and does not answer until released (at most 30 s).
class StalledService {
 public:
  StalledService() {
    server_.SetServerName(kSearchRequestPipe);
    server_.OnExecuteRequest = [this](const ICommContext&, const IMessageData&, const IMessageData&) {
      ++requests_;
      ::WaitForSingleObject(release_.get(), 30000);
    };
    server_.Start();
  }
  ~StalledService() { Release(); }
  void Release() { ::SetEvent(release_.get()); }
  int Requests() const { return requests_.load(); }

 private:
  UniqueKernelHandle release_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<int> requests_{0};
  TIPCServer server_;  // last: its threads end before the state they use
};

TEST(HookThread, AStalledServiceHoldsTheLockOnlyForTheReplyBound) {
  MainThread::Init();
  StalledService service;
  TTestHookThread t;
  auto* rec = new TWindowRec;
  rec->MainForm = 0x10030;
  t.WindowList().AddItem(WindowKey(rec->MainForm), rec);
  t.Start();
  t.QueueDestroyedWindow(0x10030);
  ASSERT_TRUE(WaitUntil([&] { return service.Requests() >= 1; }, 10000));
  // A result worker takes FLock as it does for each item; the main thread serves meanwhile.
  std::atomic<bool> took{false};
  std::thread worker([&] {
    CsLock lock(t.Lock());
    took = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return took.load(); }, 4 * THookThread::kRequestReplyTimeout))
      << "FLock stayed held while the service did not answer";
  EXPECT_TRUE(WaitUntil([&] { return t.WindowList().Count() == 0; }, 4 * THookThread::kRequestReplyTimeout));
  service.Release();
  worker.join();
  StopAndWait(t);
}

TEST(HookThread, ARequestAfterTheServiceClosedTheIdleConnectionGoesOut) {
  MainThread::Init();
  RequestRecorder service;
  TTestHookThread t;
  t.Start();
  // The loop's connection stays open; the service closes it once it has been idle too long.
  PumpFor(2 * kConnectionIdleTimeoutMs);
  EXPECT_TRUE(t.SendRequest(BuildCancelRequest(79), false));
  const auto cancels = service.Messages(kActionCancel);
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0].SearchBox, 79u);
  StopAndWait(t);
}

}  // namespace
