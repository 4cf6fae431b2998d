// The worker pool when threads cannot be created. Neither Windows nor Wine lets a test make
// CreateThread fail on demand (running the process out of address space would take the test
// runner with it), so the pool's thread starter is the seam: the same starter the server
// passes, failing when told to.
#include <gtest/gtest.h>

#include <atomic>
#include <system_error>
#include <vector>

#include "IpcTestSupport.h"
#include "win/ipc/TaskPool.h"

using namespace ipc_test;

namespace {

// Starts threads while allowed, then fails as CreateThread's wrapper does when out of threads.
class FlakyStarter {
 public:
  std::atomic<int> allowed{1000};
  std::atomic<int> refused{0};

  TTaskPool::TThreadStarter Starter() {
    return [this](std::function<void()> body) {
      if (allowed.fetch_sub(1) <= 0) {
        ++refused;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      return std::thread(std::move(body));
    };
  }
};

// Work that holds each connection until released and counts the connections it served.
class GatedWork {
 public:
  TTaskPool::TWork Work() {
    return [this](UniqueFileHandle token) {
      ++running_;
      ::WaitForSingleObject(gate_.get(), 10000);
      if (token) ++seen_;
      --running_;
    };
  }
  void Open() { ::SetEvent(gate_.get()); }
  int Running() const { return running_.load(); }
  int Seen() const { return seen_.load(); }

 private:
  UniqueKernelHandle gate_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<int> running_{0};
  std::atomic<int> seen_{0};
};

// A stand-in for a connection's pipe handle: any handle the pool may close.
UniqueFileHandle Token() { return UniqueFileHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr)); }

TEST(TaskPool, FailingFirstWorkersLeaveAPoolThatServes) {
  FlakyStarter starter;
  starter.allowed = 2;
  GatedWork work;
  work.Open();
  TTaskPool pool(5, true, work.Work(), starter.Starter());
  EXPECT_EQ(pool.Size(), 2u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(pool.Execute(Token()));
  EXPECT_TRUE(WaitUntil([&] { return work.Seen() == 4; }, 5000)) << work.Seen();
}

TEST(TaskPool, ConnectionsBeyondTheThreadsWaitForAFinishingWorker) {
  FlakyStarter starter;
  GatedWork work;
  // Dynamic: the grown worker that finishes is discarded and waits to be joined, as it does
  // when a later Execute cannot start a thread.
  TTaskPool pool(1, true, work.Work(), starter.Starter());
  ASSERT_TRUE(pool.Execute(Token()));
  ASSERT_TRUE(pool.Execute(Token()));
  ASSERT_TRUE(WaitUntil([&] { return work.Running() == 2; }, 5000));
  starter.allowed = 0;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pool.Execute(Token()));
  EXPECT_EQ(pool.Waiting(), 3u);
  EXPECT_EQ(pool.Size(), 2u);
  work.Open();
  EXPECT_TRUE(WaitUntil([&] { return work.Seen() == 5; }, 5000)) << work.Seen();
  EXPECT_TRUE(WaitUntil([&] { return pool.Size() == 1; }, 5000)) << pool.Size();
  // A finished grown worker is joined by the next Execute even when no thread can be had.
  EXPECT_TRUE(pool.Execute(Token()));
  EXPECT_TRUE(WaitUntil([&] { return work.Seen() == 6; }, 5000));
  EXPECT_GT(starter.refused.load(), 0);
}

TEST(TaskPool, WithoutAnyWorkerAConnectionIsClosed) {
  FlakyStarter starter;
  starter.allowed = 0;
  GatedWork work;
  work.Open();
  TTaskPool pool(3, false, work.Work(), starter.Starter());
  EXPECT_EQ(pool.Size(), 0u);
  UniqueFileHandle token = Token();
  const HANDLE raw = token.get();
  EXPECT_FALSE(pool.Execute(std::move(token)));
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags)) << "the refused connection's handle was closed";
  // Threads to be had again: the pool grows on demand.
  starter.allowed = 1000;
  EXPECT_TRUE(pool.Execute(Token()));
  EXPECT_TRUE(WaitUntil([&] { return work.Seen() == 1; }, 5000));
}

}  // namespace
