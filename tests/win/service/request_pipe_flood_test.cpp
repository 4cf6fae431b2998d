// RuvoService.exe's "SearchRequestPipe" under a flood of local connections: the cap, the idle
// time-out and the data cap hold, and the service answers a real search afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <optional>

#include "PipeFlood.h"
#include "ServiceTestSupport.h"
#include "TempTree.h"
#include "TestProcess.h"
#include "core/SearchMessages.h"
#include "win/common/WideText.h"

namespace {

using namespace testing_support;

class RequestPipeFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(tree_.Path(L"flood-report.txt").c_str()) << "x";
    service_.emplace(ExeDirectory() + L"RuvoService.exe", L"/console /root \"" + tree_.Root() + L"\"",
                     ChildProcess::Options{.creationFlags = CREATE_NO_WINDOW});
    ASSERT_TRUE(service_->Valid());
    TIPCClient probe;
    probe.SetServerName(kSearchRequestPipe);
    for (int i = 0; i < 100 && !probe.IsConnected(); ++i) probe.ConnectClient(100);
    ASSERT_TRUE(probe.IsConnected());
    probe.DisconnectClient();
  }

  // A search still gets its whole answer.
  void ExpectAnswered(std::uint32_t box) {
    ASSERT_TRUE(service_testing::SendRequest(BuildSearchRequest(U(tree_.Root()), u"flood-report", box)));
    const auto answer = recorder_.Answer(box);
    EXPECT_EQ(service_testing::Items(answer).count(U(tree_.Path(L"flood-report.txt"))), 1u);
  }

  TempTree tree_{L"ruvo-flood"};
  service_testing::ResultRecorder recorder_;
  std::optional<ChildProcess> service_;
};

TEST_F(RequestPipeFlood, ConnectionsBeyondTheCapWaitAndIdleOnesAreClosed) {
  ExpectCapAndIdleTimeOut(LocalPipePath(kSearchRequestPipe));
  EXPECT_TRUE(service_->Running());
  ExpectAnswered(0x7001);
}

TEST_F(RequestPipeFlood, RequestsBeyondTheDataCapAreRefused) {
  ExpectDataCap(LocalPipePath(kSearchRequestPipe), kMaxRequestDataSize);
  EXPECT_TRUE(service_->Running());
  ExpectAnswered(0x7002);
}

}  // namespace
