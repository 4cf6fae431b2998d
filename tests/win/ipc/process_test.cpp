#include <gtest/gtest.h>

#include "IpcTestSupport.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"

using namespace ipc_test;

namespace {

std::wstring PeerExe() { return ExeDirectory() + L"pipe_peer.exe"; }

TEST(IPCProcess, LargeMessageFromAnotherProcessArrivesWhole) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"xproc"));
  std::atomic<std::int64_t> blobSize{-1};
  std::atomic<bool> patternOk{false};
  server.OnExecuteRequest = [&](const ICommContext&, const IMessageData& request, const IMessageData& response) {
    IStorageStream blob = request->Data().ReadStream(u"Blob");
    const TMemoryStream& s = blob->Data();
    bool ok = true;
    for (std::int64_t i = 0; i < s.Size() && ok; ++i) ok = s.Data()[i] == static_cast<std::uint8_t>(i * 7 + 3);
    patternOk = ok;
    blobSize = s.Size();
    response->Data().WriteCardinal(u"Echo", static_cast<std::uint32_t>(s.Size()));
  };
  server.Start();
  ChildProcess peer(PeerExe(), L"send " + W(server.ServerName()) + L" 200000");
  ASSERT_TRUE(peer.Valid());
  EXPECT_EQ(peer.Wait(30000), 0);
  EXPECT_EQ(blobSize.load(), 200000);
  EXPECT_TRUE(patternOk.load());
}

TEST(IPCProcess, ClientReachesAServerInAnotherProcess) {
  const std::u16string name = UniquePipeName(u"peerserve");
  ChildProcess peer(PeerExe(), L"serve " + W(name) + L" 20000");
  ASSERT_TRUE(peer.Valid());
  TIPCClient client;
  client.SetServerName(name);
  ASSERT_TRUE(WaitUntil([&] {
    client.ConnectClient(10);
    return client.IsConnected();
  }, 15000));
  for (std::uint32_t size : {0u, 1u, 65536u, 200000u}) {
    IMessageData req = NewMessageData();
    TMemoryStream blob;
    std::vector<std::uint8_t> bytes(size, 0x5A);
    blob.Write(bytes.data(), bytes.size());
    req->Data().WriteStream(u"Blob", blob);
    IMessageData reply = client.ExecuteConnectedRequest(req);
    ASSERT_TRUE(reply);
    ASSERT_TRUE(client.AnswerValid()) << W(client.ErrorDesc());
    EXPECT_EQ(reply->Data().ReadCardinal(u"Echo"), size);
  }
  client.DisconnectClient();
  peer.Kill();
}

}  // namespace
