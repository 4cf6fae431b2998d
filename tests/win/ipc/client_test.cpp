#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "IpcTestSupport.h"
#include "core/Frame.h"
#include "core/SearchMessages.h"
#include "win/ipc/IPCClient.h"

using namespace ipc_test;

namespace {

// The raw server side of one exchange: records each client write, then answers with reply.
struct RawPeer {
  std::vector<Bytes> writes;
  bool sawEndMarker = false;
};

TEST(IPCClient, PipeNameFollowsServerAndComputerName) {
  TIPCClient c;
  EXPECT_EQ(c.ComputerName(), u".");
  c.SetServerName(u"SearchRequestPipe");
  EXPECT_EQ(c.PipeName(), u"\\\\.\\pipe\\SearchRequestPipe");
  c.SetComputerName(u"HOST");
  EXPECT_EQ(c.PipeName(), u"\\\\HOST\\pipe\\SearchRequestPipe");
  c.SetComputerName(u"");
  EXPECT_EQ(c.ComputerName(), u".");
  EXPECT_EQ(c.PipeName(), u"\\\\.\\pipe\\SearchRequestPipe");
}

TEST(IPCClient, ConnectWithZeroTimeoutMakesNoAttempt) {
  const std::u16string name = UniquePipeName(u"zero");
  UniqueFileHandle server = RawServerInstance(name, false);  // a server exists, yet no attempt is made
  ASSERT_TRUE(server);
  TIPCClient c;
  c.SetServerName(name);
  c.ConnectClient(0);
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.LastError(), 258u);
  EXPECT_EQ(c.ErrorDesc(), u"IPC client failed with WAIT timeout");
}

TEST(IPCClient, ConnectWithoutServerRetriesForTheBudget) {
  TIPCClient c;
  c.SetServerName(UniquePipeName(u"none"));
  const auto start = std::chrono::steady_clock::now();
  c.ConnectClient(10);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.LastError(), 258u);
  EXPECT_EQ(c.ErrorDesc(), u"IPC client failed with WAIT timeout");
  EXPECT_GE(ms, 10);
  EXPECT_LT(ms, 1000);
}

// A pipe instance that admits only writes from the server refuses a read-write client.
class AccessDeniedClient : public TIPCClient {
 public:
  int attempts = 0;

 protected:
  HANDLE OpenPipe(const std::wstring& path) override {
    ++attempts;
    return TIPCClient::OpenPipe(path);
  }
};

TEST(IPCClient, CreateFileAccessDeniedEndsTheAttemptAtOnce) {
  const std::u16string name = UniquePipeName(u"denied");
  UniqueFileHandle server = RawServerInstance(name, false, PIPE_ACCESS_INBOUND);
  ASSERT_TRUE(server);
  AccessDeniedClient c;
  c.SetServerName(name);
  c.ConnectClient(2000);
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.LastError(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(c.ErrorDesc(), u"CreateFile failed while creating new pipe handle");
  EXPECT_EQ(c.attempts, 1);
}

// Runs one client exchange against a raw message-mode server, which answers the first request
// with reply and then records the writes until the client goes.
RawPeer ExchangeWithRawServer(const std::u16string& name, const Bytes& reply, std::size_t requestWrites,
                              const std::function<void(TIPCClient&)>& clientSide) {
  UniqueFileHandle server = RawServerInstance(name, true);
  EXPECT_TRUE(server);
  RawPeer peer;
  std::thread serverThread([&] {
    if (!::ConnectNamedPipe(server.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
    Bytes msg;
    for (std::size_t i = 0; i < requestWrites && ReadMessage(server.get(), msg); ++i) peer.writes.push_back(msg);
    if (!reply.empty()) WriteBytes(server.get(), reply);
    while (ReadMessage(server.get(), msg)) {
      if (msg == Le64(-1)) peer.sawEndMarker = true;
      else peer.writes.push_back(msg);
    }
  });
  TIPCClient c;
  c.SetServerName(name);
  c.ConnectClient(2000);
  EXPECT_TRUE(c.IsConnected()) << W(c.ErrorDesc());
  clientSide(c);
  c.DisconnectClient();
  serverThread.join();
  return peer;
}

TEST(IPCClient, CancelRequestGoesOutAsThreeWritesAndEndsWithTheMarker) {
  IMessageData request = BuildCancelRequest(1234);
  const Bytes data(request->Data().Storage().Data(), request->Data().Storage().Data() + 62);
  const Bytes reply = Concat({Le64(0), Le64(0)});
  IMessageData answer;
  bool valid = false;
  RawPeer peer = ExchangeWithRawServer(UniquePipeName(u"cancel"), reply, 3, [&](TIPCClient& c) {
    answer = c.ExecuteConnectedRequest(request);
    valid = c.AnswerValid();
  });
  ASSERT_EQ(peer.writes.size(), 3u);
  EXPECT_EQ(peer.writes[0], Bytes(8, 0));
  EXPECT_EQ(peer.writes[1], (Bytes{0x3E, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(peer.writes[2], data);
  EXPECT_TRUE(peer.sawEndMarker);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(valid);
  EXPECT_EQ(answer->ID(), u"");
  EXPECT_EQ(answer->Data().Storage().Size(), 0);
}

TEST(IPCClient, TestAidRequestIsPrecededByZeroIdAndSize154) {
  IMessageData request = BuildSearchRequest(u"D:\\", u"shell111111111111111", 0x10020);
  RawPeer peer = ExchangeWithRawServer(UniquePipeName(u"aid"), Concat({Le64(0), Le64(0)}), 3,
                                       [&](TIPCClient& c) { c.ExecuteConnectedRequest(request); });
  ASSERT_EQ(peer.writes.size(), 3u);
  EXPECT_EQ(peer.writes[0], Bytes(8, 0));
  EXPECT_EQ(peer.writes[1], (Bytes{0x9A, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(peer.writes[2].size(), 154u);
}

TEST(IPCClient, LargeStorageIsSentInPiecesOf65536) {
  IMessageData request = NewMessageData();
  request->SetID(u"big");
  Bytes payload(200000);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 13);
  request->Data().Storage().Append(payload.data(), payload.size());
  RawPeer peer = ExchangeWithRawServer(UniquePipeName(u"chunks"), Concat({Le64(0), Le64(0)}), 6,
                                       [&](TIPCClient& c) { c.ExecuteConnectedRequest(request); });
  ASSERT_EQ(peer.writes.size(), 6u);
  EXPECT_EQ(peer.writes[0], (Bytes{6, 0, 0, 0, 0, 0, 0, 0, 'b', 0, 'i', 0, 'g', 0}));
  EXPECT_EQ(peer.writes[1], Le64(200000));
  EXPECT_EQ(peer.writes[2].size(), 65536u);
  EXPECT_EQ(peer.writes[3].size(), 65536u);
  EXPECT_EQ(peer.writes[4].size(), 65536u);
  EXPECT_EQ(peer.writes[5].size(), 3392u);
  Bytes joined;
  for (int i = 2; i < 6; ++i) joined.insert(joined.end(), peer.writes[i].begin(), peer.writes[i].end());
  EXPECT_EQ(joined, payload);
}

struct BadReplyCase {
  const char* what;
  Bytes reply;
  const char16_t* desc;
  DWORD code;
};

TEST(IPCClient, MalformedOrCutRepliesAreReadErrors) {
  IMessageData entry = NewMessageData();
  entry->Data().WriteCardinal(u"Action", 2);
  const Bytes good(entry->Data().Storage().Data(), entry->Data().Storage().Data() + 28);
  const BadReplyCase cases[] = {
      {"oversized data size", Concat({Le64(0), Le64(kMaxFrameDataSize + 1)}), u"ReadFile failed while reading message data size", ERROR_INVALID_DATA},
      {"negative data size", Concat({Le64(0), Le64(-5)}), u"ReadFile failed while reading message data size", ERROR_INVALID_DATA},
      {"negative ID length", Le64(-2), u"ReadFile failed while reading message ID length", ERROR_INVALID_DATA},
      {"end marker as reply", Le64(-1), u"ReadFile failed while reading message ID length", ERROR_INVALID_DATA},
      {"oversized ID length", Le64(std::int64_t{1} << 40), u"ReadFile failed while reading message ID length", ERROR_INVALID_DATA},
      {"ID cut short", Concat({Le64(8), Bytes{'a', 0}}), u"ReadFile failed while reading message ID", ERROR_PIPE_NOT_CONNECTED},
      {"data cut short", Concat({Le64(0), Le64(28), Bytes(good.begin(), good.begin() + 10)}), u"ReadFile failed while reading message data", ERROR_PIPE_NOT_CONNECTED},
      {"nothing", Bytes{}, u"ReadFile failed while reading message ID length", ERROR_PIPE_NOT_CONNECTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string name = UniquePipeName(u"bad");
    UniqueFileHandle server = RawServerInstance(name, false);
    ASSERT_TRUE(server);
    std::thread serverThread([&] {
      ::ConnectNamedPipe(server.get(), nullptr);
      Bytes request;
      ReadExactly(server.get(), request, 16 + 28);
      if (!c.reply.empty()) WriteBytes(server.get(), c.reply);
      ::FlushFileBuffers(server.get());
      ::DisconnectNamedPipe(server.get());
    });
    TIPCClient client;
    client.SetServerName(name);
    client.ConnectClient(2000);
    ASSERT_TRUE(client.IsConnected());
    IMessageData req = NewMessageData();
    req->Data().WriteCardinal(u"Action", 2);
    IMessageData reply = client.ExecuteConnectedRequest(req);
    serverThread.join();
    EXPECT_TRUE(reply) << "a partly read reply is still returned";
    EXPECT_FALSE(client.AnswerValid());
    EXPECT_EQ(client.ErrorDesc(), c.desc);
    EXPECT_EQ(client.LastError(), c.code);
    EXPECT_TRUE(client.IsConnected()) << "the caller disconnects";
    client.DisconnectClient();
    EXPECT_FALSE(client.IsConnected());
  }
}

// A client connected to a raw server instance of its own.
struct RawConnection {
  RawConnection(const char16_t* tag, bool messageMode)
      : name(UniquePipeName(tag)), server(RawServerInstance(name, messageMode)) {
    client.SetServerName(name);
    if (server) client.ConnectClient(2000);
  }
  const std::u16string name;
  UniqueFileHandle server;
  TIPCClient client;
};

TEST(IPCClient, WriteFailureReturnsNoMessage) {
  RawConnection c(u"wfail", false);
  ASSERT_TRUE(c.server);
  ASSERT_TRUE(c.client.IsConnected());
  ::DisconnectNamedPipe(c.server.get());
  IMessageData reply = c.client.ExecuteConnectedRequest(BuildCancelRequest(1));
  EXPECT_FALSE(reply);
  EXPECT_FALSE(c.client.AnswerValid());
  EXPECT_EQ(c.client.ErrorDesc(), u"WriteFile failed while writing message ID");
  EXPECT_NE(c.client.LastError(), 0u);
}

TEST(IPCClient, ExecuteRequestWithoutServerReturnsNothing) {
  TIPCClient client;
  client.SetServerName(UniquePipeName(u"noexec"));
  EXPECT_FALSE(client.ExecuteRequest(BuildCancelRequest(1), 10));
  EXPECT_EQ(client.LastError(), 258u);
}

// Bytes waiting on the server end, or -1 once the client's end is gone.
long PendingBytes(HANDLE server) {
  DWORD available = 0;
  return ::PeekNamedPipe(server, nullptr, 0, nullptr, &available, nullptr) ? static_cast<long>(available) : -1;
}

TEST(IPCClient, ConnectingAgainEndsTheOpenConnection) {
  RawConnection c(u"again", true);
  ASSERT_TRUE(c.server);
  ASSERT_TRUE(c.client.IsConnected());
  HANDLE server = c.server.get();
  ASSERT_TRUE(::ConnectNamedPipe(server, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED);
  c.client.ConnectClient(50);  // the only instance is still taken: this attempt fails
  EXPECT_FALSE(c.client.IsConnected());
  ASSERT_TRUE(WaitUntil([&] { return PendingBytes(server) != 0; }, 2000));
  Bytes marker;
  ASSERT_TRUE(ReadMessage(server, marker));
  EXPECT_EQ(marker, Le64(-1));
  // The first connection's handle was closed, not left behind.
  EXPECT_TRUE(WaitUntil([&] { return PendingBytes(server) == -1; }, 2000));
}

}  // namespace
