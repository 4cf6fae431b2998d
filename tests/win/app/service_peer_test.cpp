// Who the program's pipes accept at their other end: the running search service or a process
// of the program's own user. Wine runs every process as one user and never as another, so a
// peer of another user cannot be made here; what can be shown is that the checks read the
// real peer of a real pipe and refuse what cannot be told.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "TestProcess.h"
#include "app/ServicePeer.h"
#include "core/SearchMessages.h"

using testing_support::ChildProcess;
using testing_support::WaitUntil;

namespace {

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t dir[MAX_PATH] = L"";
  ::GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir) + L"\\" + name;
}

TEST(ServicePeer, ProcessesOfThisUserAreTrustedAndUnknownOnesAreNot) {
  EXPECT_TRUE(IsTrustedServicePeer(::GetCurrentProcessId()));
  EXPECT_FALSE(IsTrustedServicePeer(0));

  ChildProcess::Options waits;
  waits.pipeInput = true;  // cmd reads its commands until the pipe ends
  ChildProcess child(SystemProgram(L"cmd.exe"), L"/q", waits);
  ASSERT_TRUE(child.Valid());
  const DWORD pid = child.Pid();
  EXPECT_TRUE(IsTrustedServicePeer(pid));
  // No process has this id (ids are multiples of four), so nothing about it can be told.
  EXPECT_FALSE(IsTrustedServicePeer(0xFFFFFFF1u));
}

TEST(ServicePeer, TheResultCheckReadsTheConnectionsClient) {
  TResultPeerCheck check;
  std::atomic<int> allowed{0}, asked{0};
  TIPCServer server;
  server.SetServerName(u"RuvoPeerCheckTest");
  server.OnExecuteRequest = [&](const ICommContext& context, const IMessageData&, const IMessageData&) {
    ++asked;
    if (check.Allows(*context)) ++allowed;
  };
  server.Start();
  TIPCClient client;
  client.SetServerName(u"RuvoPeerCheckTest");
  client.ConnectClient(3000);
  ASSERT_TRUE(client.IsConnected());
  for (int i = 0; i < 3; ++i) client.ExecuteConnectedRequest(BuildCancelRequest(1));
  ASSERT_TRUE(WaitUntil([&] { return asked == 3; }, 3000));
  EXPECT_EQ(allowed, 3);
  client.DisconnectClient();
  server.Stop();

  // A connection whose client cannot be asked for is refused.
  TCommContext detached(nullptr);
  EXPECT_FALSE(check.Allows(detached));
}

TEST(ServicePeer, TheRequestClientConnectsToAServerOfThisUser) {
  TIPCServer server;
  server.SetServerName(kSearchRequestPipe);
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData&) {};
  server.Start();
  TServiceRequestClient client;
  client.ConnectClient(3000);
  EXPECT_TRUE(client.IsConnected()) << client.LastError();
  client.DisconnectClient();
  server.Stop();
}

}  // namespace
