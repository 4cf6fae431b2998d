// The thread base: Terminate reaches a thread that waits in Execute.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "win/common/Handle.h"
#include "win/thread/TThread.h"

namespace {

class TWaitingThread : public TThread {
 public:
  // Released here as well, so a failed test does not leave Execute on a dead object.
  ~TWaitingThread() override {
    ::SetEvent(wake_.get());
    WaitFor();
  }
  std::atomic<DWORD> waitResult{WAIT_FAILED};

 protected:
  void Execute() override { waitResult = ::WaitForSingleObject(wake_.get(), 30000); }
  void TerminatedSet() override { ::SetEvent(wake_.get()); }

 private:
  UniqueKernelHandle wake_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST(Thread, TerminateWakesAnExecuteThatWaits) {
  MainThread::Init();
  TWaitingThread t;
  t.Start();
  t.Terminate();
  ASSERT_EQ(::WaitForSingleObject(t.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(t.waitResult.load(), WAIT_OBJECT_0);
  EXPECT_TRUE(t.Terminated());
}

}  // namespace
