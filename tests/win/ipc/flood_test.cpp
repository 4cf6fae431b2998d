// A server under a flood of connections and a client facing a server that stalls: the cap on
// connections, the idle time-out, the data cap, the bounded reply wait, and a listener that
// comes back after its restart failed.
#include <gtest/gtest.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "IpcTestSupport.h"
#include "PipeFlood.h"
#include "core/Frame.h"
#include "core/SearchMessages.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "win/ipc/PipeTimeouts.h"

using namespace ipc_test;

namespace {

// Waits for every bound the tests rely on with room to spare on a slow machine.
constexpr DWORD kGenerousMs = 4 * kConnectionIdleTimeoutMs;

// One request answered on a raw connection, as a client that keeps to its turn does it.
bool RawExchange(HANDLE pipe) {
  IMessageData req = BuildCancelRequest(7);
  const Bytes data(req->Data().Storage().Data(), req->Data().Storage().Data() + req->Data().Storage().Size());
  if (!WriteBytes(pipe, Concat({Le64(0), Le64(static_cast<std::int64_t>(data.size())), data}))) return false;
  Bytes reply;
  return ReadExactly(pipe, reply, 16 + data.size());
}

TEST(IPCServerFlood, OneConnectionBeyondTheCapWaitsUntilOneEnds) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  PrepareEcho(server, errors, u"cap");
  server.Start();
  ASSERT_TRUE(server.Listening());
  std::vector<UniqueFileHandle> held;
  for (LONG i = 0; i < TIPCServer::kMaxConnections; ++i) {
    held.push_back(RawClient(server.ServerName()));
    ASSERT_TRUE(held.back()) << "connection " << i << " of the cap";
  }
  ASSERT_TRUE(WaitUntil([&] { return server.ConnectionCount() == static_cast<std::size_t>(TIPCServer::kMaxConnections); }, kGenerousMs));
  const std::wstring path = PipePath(server.ServerName());
  UniqueFileHandle extra(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  const DWORD err = ::GetLastError();
  EXPECT_FALSE(extra) << "connection cap + 1 was accepted";
  EXPECT_EQ(err, static_cast<DWORD>(ERROR_PIPE_BUSY));
  EXPECT_EQ(server.ConnectionCount(), static_cast<std::size_t>(TIPCServer::kMaxConnections));
  // One ends: its slot serves the one that waited.
  held.front().reset();
  ASSERT_TRUE(::WaitNamedPipeW(path.c_str(), kGenerousMs));
  extra = RawClient(server.ServerName());
  ASSERT_TRUE(extra);
  EXPECT_TRUE(RawExchange(extra.get()));
}

struct IdleCase {
  const char* what;
  Bytes sent;           // before the connection goes idle
  bool answeredFirst;   // one request is answered before it goes idle
  const char16_t* desc;
};

TEST(IPCServerFlood, IdleConnectionsAreClosedAndTheirSlotsServeAgain) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  PrepareEcho(server, errors, u"idle");
  server.Start();
  const IdleCase cases[] = {
      {"nothing sent", {}, false, u"ReadFile failed while reading message ID Length"},
      {"idle after an answer", {}, true, u"ReadFile failed while reading message ID Length"},
      {"a frame begun and never finished", Concat({Le64(0), Le64(100), Bytes(10, 1)}), false,
       u"ReadFile failed while reading message data"},
      {"an ID length and nothing more", Le64(4), false, u"ReadFile failed while reading message ID"},
  };
  std::vector<UniqueFileHandle> raws;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    raws.push_back(RawClient(server.ServerName()));
    ASSERT_TRUE(raws.back());
    if (c.answeredFirst) {
      ASSERT_TRUE(RawExchange(raws.back().get()));
    }
    if (!c.sent.empty()) {
      ASSERT_TRUE(WriteBytes(raws.back().get(), c.sent));
    }
  }
  for (std::size_t i = 0; i < raws.size(); ++i) {
    EXPECT_TRUE(testing_support::ServerClosesWithin(raws[i].get(), kGenerousMs)) << cases[i].what << " was kept";
  }
  ASSERT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 0; }, kGenerousMs));
  for (const auto& c : cases) {
    EXPECT_GE(errors.Count(c.desc), 1u) << c.what;
  }
  for (const auto& e : errors.Entries()) {
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(WAIT_TIMEOUT)) << W(e.desc);
  }
  // Many more idle connections than the cap come and go: every slot came back.
  for (LONG round = 0; round < 2; ++round) {
    std::vector<UniqueFileHandle> flood;
    for (LONG i = 0; i < TIPCServer::kMaxConnections; ++i) {
      flood.push_back(RawClient(server.ServerName()));
      ASSERT_TRUE(flood.back()) << "round " << round << ", connection " << i;
    }
    for (auto& f : flood) EXPECT_TRUE(testing_support::ServerClosesWithin(f.get(), kGenerousMs));
  }
  TIPCClient client;
  client.SetServerName(server.ServerName());
  EXPECT_TRUE(client.ExecuteRequest(BuildCancelRequest(1), kGenerousMs));
  EXPECT_TRUE(client.AnswerValid());
}

TEST(IPCServerFlood, DataBeyondTheServersCapIsRefusedBeforeItIsRead) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  PrepareEcho(server, errors, u"datacap");
  server.SetMaxDataSize(kMaxRequestDataSize);
  EXPECT_EQ(server.MaxDataSize(), kMaxRequestDataSize);
  server.Start();
  struct SizeCase {
    std::int64_t size;
    bool served;
  };
  const SizeCase cases[] = {{kMaxRequestDataSize, true}, {kMaxRequestDataSize + 1, false}, {kMaxFrameDataSize, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    TIPCClient client;
    client.SetServerName(server.ServerName());
    IMessageData request = NewMessageData();
    const Bytes payload(static_cast<std::size_t>(c.size), 0);
    request->Data().Storage().Append(payload.data(), payload.size());
    const std::size_t refusedBefore = errors.Count(u"ReadFile failed while reading message size");
    const IMessageData reply = client.ExecuteRequest(request, kGenerousMs);
    EXPECT_EQ(reply && client.AnswerValid(), c.served);
    if (c.served) {
      EXPECT_EQ(reply->Data().Storage().Size(), c.size);
    } else {
      ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"ReadFile failed while reading message size") == refusedBefore + 1; }, kGenerousMs));
      EXPECT_EQ(errors.Entries().back().code, static_cast<std::uint32_t>(ERROR_INVALID_DATA));
    }
  }
  server.SetMaxDataSize(kMaxFrameDataSize + 1);
  EXPECT_EQ(server.MaxDataSize(), kMaxFrameDataSize) << "no server takes more than a frame may carry";
}

// A raw server that takes the request (or not even that) and never answers.
struct StallCase {
  const char* what;
  std::size_t requestBytes;
  bool readsRequest;
};

TEST(IPCClientStall, AStalledServerLetsTheRequestReturnWithinItsBound) {
  const StallCase cases[] = {
      {"reads the request, never answers", 62, true},
      {"never reads a request larger than the pipe's buffer", 1 << 20, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string name = UniquePipeName(u"stall");
    UniqueFileHandle server(::CreateNamedPipeW(PipePath(name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_WAIT, 1, 1024, 1024, 5000, nullptr));
    ASSERT_TRUE(server);
    UniqueKernelHandle released(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread serverThread([&] {
      ::ConnectNamedPipe(server.get(), nullptr);
      if (c.readsRequest) {
        Bytes request;
        ReadExactly(server.get(), request, 16 + c.requestBytes);
      }
      ::WaitForSingleObject(released.get(), kGenerousMs);
    });
    TIPCClient client;
    client.SetServerName(name);
    client.SetReplyTimeout(500);
    client.ConnectClient(kGenerousMs);
    ASSERT_TRUE(client.IsConnected());
    IMessageData request = NewMessageData();
    const Bytes payload(c.requestBytes, 0x5A);
    request->Data().Storage().Append(payload.data(), payload.size());
    std::atomic<bool> returned{false};
    std::thread clientThread([&] {
      client.ExecuteConnectedRequest(request);
      returned = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, kGenerousMs)) << "the request waits for the server without end";
    // Either way the stalled server lets go now, so no thread outlives the test.
    ::SetEvent(released.get());
    serverThread.join();
    if (!returned) {
      ::DisconnectNamedPipe(server.get());
      server.reset();
    }
    clientThread.join();
    EXPECT_FALSE(client.AnswerValid());
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(WAIT_TIMEOUT));
    EXPECT_FALSE(client.IsConnected()) << "a reply that comes late must not be read as the next one's";
  }
}

TEST(IPCClientStall, AConnectionTheServerClosedForIdlenessIsOpenedAnewForTheRequest) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  PrepareEcho(server, errors, u"stale");
  std::atomic<int> connects{0};
  server.OnClientConnect = [&](const ICommContext&) { ++connects; };
  server.Start();
  TIPCClient client;
  client.SetServerName(server.ServerName());
  client.ConnectClient(kGenerousMs);
  ASSERT_TRUE(client.IsConnected());
  // The server ends the idle connection; the client has not heard of it.
  ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"ReadFile failed while reading message ID Length") == 1; }, kGenerousMs));
  EXPECT_TRUE(client.IsConnected());
  IMessageData request = NewMessageData();
  request->Data().WriteCardinal(u"N", 5);
  const IMessageData reply = client.ExecuteConnectedRequest(request);
  ASSERT_TRUE(reply);
  ASSERT_TRUE(client.AnswerValid()) << W(client.ErrorDesc());
  EXPECT_EQ(reply->Data().ReadCardinal(u"N"), 5u);
  EXPECT_EQ(connects.load(), 2);
}

TEST(IPCServerFlood, AListenerWhoseRestartCannotStartAThreadComesBack) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  FaultyServer server;
  PrepareEcho(server, errors, u"nothread");
  server.Start();
  ASSERT_TRUE(server.Listening());
  // The next instance cannot be made, so the listener ends; its first restart gets no thread
  // for its pool's first worker nor for itself.
  server.instanceFailuresLeft = 1;
  server.threadFailuresLeft = 2;
  {
    UniqueFileHandle raw = RawClient(server.ServerName());
    ASSERT_TRUE(raw);
    ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"Listening thread was terminated abnormally!") >= 2; }, kGenerousMs));
  }
  TIPCClient client;
  client.SetServerName(server.ServerName());
  const IMessageData reply = client.ExecuteRequest(BuildCancelRequest(3), kGenerousMs);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(client.AnswerValid());
  EXPECT_TRUE(server.Listening());
  EXPECT_EQ(server.threadFailuresLeft.load(), 0);
  EXPECT_EQ(errors.Count(u"Tried to restart listening thread to many times!"), 0u);
}

TEST(IPCServerFlood, AServerThatUsedUpItsRestartsListensAgainInTheNextWindow) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  FaultyServer server;
  PrepareEcho(server, errors, u"window");
  server.instanceFailuresLeft = 6;
  server.Start();
  ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"Tried to restart listening thread to many times!") == 1; }, kGenerousMs));
  EXPECT_FALSE(server.Listening());
  // The restart window is 30 s; the next try comes when it ends.
  ASSERT_TRUE(WaitUntil([&] { return server.Listening(); }, 60000));
  TIPCClient client;
  client.SetServerName(server.ServerName());
  EXPECT_TRUE(client.ExecuteRequest(BuildCancelRequest(4), kGenerousMs));
  EXPECT_TRUE(client.AnswerValid());
  server.Stop();
  EXPECT_FALSE(server.Listening());
}

}  // namespace
