#include <gtest/gtest.h>

#include <optional>

#include <aclapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

#include "IpcTestSupport.h"
#include "core/Frame.h"
#include "core/SearchMessages.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"

using namespace ipc_test;

namespace {

TEST(IPCServer, StartWithoutHandlerRaisesAndStaysStopped) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"nohandler"));
  EXPECT_EQ(server.PipeName(), u"\\\\.\\pipe\\" + server.ServerName());
  try {
    server.Start();
    FAIL() << "no error raised";
  } catch (const EIPCServerError& e) {
    EXPECT_STREQ(e.what(), "OnExecuteRequest not assigned");
  }
  EXPECT_FALSE(server.Listening());
}

TEST(IPCServer, EmptyHandlerAnswersWithSixteenZeroBytes) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"empty"));
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData&) {};
  server.Start();
  ASSERT_TRUE(server.Listening());

  UniqueFileHandle raw = RawClient(server.ServerName());
  ASSERT_TRUE(raw);
  IMessageData req = BuildCancelRequest(5);
  const Bytes frame = Concat({Le64(0), Le64(62), Bytes(req->Data().Storage().Data(), req->Data().Storage().Data() + 62)});
  ASSERT_TRUE(WriteBytes(raw.get(), frame));
  Bytes reply;
  ASSERT_TRUE(ReadExactly(raw.get(), reply, 16));
  EXPECT_EQ(reply, Bytes(16, 0));
  ASSERT_TRUE(WriteBytes(raw.get(), Le64(-1)));
  // The server ends the connection after the marker: the next read sees the pipe closed.
  Bytes more;
  EXPECT_FALSE(ReadExactly(raw.get(), more, 1));

  TIPCClient client;
  client.SetServerName(server.ServerName());
  IMessageData answer = client.ExecuteRequest(BuildCancelRequest(5), 2000);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(client.AnswerValid());
  EXPECT_EQ(answer->ID(), u"");
  EXPECT_EQ(answer->Data().Storage().Size(), 0);
}

TEST(IPCServer, TwoRequestsOnOneConnectionAreAnsweredInOrder) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"order"));
  std::mutex m;
  std::vector<std::uint32_t> seen;
  std::atomic<int> connects{0}, disconnects{0};
  server.OnClientConnect = [&](const ICommContext& ctx) {
    EXPECT_EQ(ctx->ID().size(), 32u);
    ++connects;
  };
  server.OnClientDisconnect = [&](const ICommContext&) { ++disconnects; };
  server.OnServerError = errors.Handler();
  server.OnExecuteRequest = [&](const ICommContext& ctx, const IMessageData& request, const IMessageData& response) {
    const std::uint32_t n = request->Data().ReadCardinal(u"N");
    {
      std::lock_guard lock(m);
      seen.push_back(n);
    }
    response->SetID(u"re:" + ctx->ID().substr(0, 4));
    response->Data().WriteCardinal(u"Twice", n * 2);
  };
  server.Start();
  TIPCClient client;
  client.SetServerName(server.ServerName());
  client.ConnectClient(2000);
  ASSERT_TRUE(client.IsConnected());
  for (std::uint32_t n : {21u, 50u}) {
    IMessageData req = NewMessageData();
    req->Data().WriteCardinal(u"N", n);
    IMessageData reply = client.ExecuteConnectedRequest(req);
    ASSERT_TRUE(reply);
    ASSERT_TRUE(client.AnswerValid());
    EXPECT_EQ(reply->Data().ReadCardinal(u"Twice"), n * 2);
    EXPECT_EQ(reply->ID().substr(0, 3), u"re:");
  }
  client.DisconnectClient();
  EXPECT_TRUE(WaitUntil([&] { return disconnects.load() == 1; }, 3000));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{21, 50}));
  EXPECT_EQ(connects.load(), 1);
  EXPECT_TRUE(errors.Entries().empty()) << "the end marker ends a connection without a report";
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

TEST(IPCServer, ClientClosingWithoutMarkerIsReportedAndFreed) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  PrepareEcho(server, errors, u"close");
  server.Start();
  {
    UniqueFileHandle raw = RawClient(server.ServerName());
    ASSERT_TRUE(raw);
    EXPECT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 1; }, 3000));
  }
  ASSERT_TRUE(WaitUntil([&] { return errors.Entries().size() == 1; }, 3000));
  const auto e = errors.Entries()[0];
  EXPECT_EQ(e.desc, u"ReadFile failed while reading message ID Length");
  EXPECT_EQ(e.code, static_cast<std::uint32_t>(ERROR_BROKEN_PIPE));
  EXPECT_TRUE(e.hasContext);
  EXPECT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 0; }, 3000));
  // The listener goes on accepting.
  TIPCClient client;
  client.SetServerName(server.ServerName());
  EXPECT_TRUE(client.ExecuteRequest(BuildCancelRequest(1), 2000));
  EXPECT_TRUE(client.AnswerValid());
}

TEST(IPCServer, RaisingHandlerSendsNothingAndReports) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"raise"));
  server.OnServerError = errors.Handler();
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData& response) {
    response->Data().WriteCardinal(u"Partial", 1);
    throw std::runtime_error("boom");
  };
  server.Start();
  TIPCClient client;
  client.SetServerName(server.ServerName());
  client.ConnectClient(2000);
  ASSERT_TRUE(client.IsConnected());
  IMessageData reply = client.ExecuteConnectedRequest(BuildCancelRequest(1));
  EXPECT_FALSE(client.AnswerValid());
  EXPECT_EQ(client.ErrorDesc(), u"ReadFile failed while reading message ID length");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Data().Storage().Size(), 0);
  client.DisconnectClient();
  ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"Error in OnExecuteTask: boom") == 1; }, 3000));
  EXPECT_EQ(errors.Entries().size(), 1u);
}

struct BadFrameCase {
  const char* what;
  Bytes frame;
  const char16_t* desc;
};

TEST(IPCServer, MalformedFramesEndTheConnectionWithTheMatchingReport) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  TIPCServer server;
  std::atomic<int> calls{0};
  server.SetServerName(UniquePipeName(u"frames"));
  server.OnServerError = errors.Handler();
  server.OnExecuteRequest = [&](const ICommContext&, const IMessageData&, const IMessageData&) { ++calls; };
  server.Start();
  const BadFrameCase cases[] = {
      {"negative ID length", Le64(-2), u"ReadFile failed while reading message ID Length"},
      {"minimum ID length", Le64(INT64_MIN), u"ReadFile failed while reading message ID Length"},
      {"oversized ID length", Le64(kMaxFrameIdLength + 2), u"ReadFile failed while reading message ID Length"},
      {"odd ID length", Le64(3), u"ReadFile failed while reading message ID Length"},
      {"negative data size", Concat({Le64(0), Le64(-1)}), u"ReadFile failed while reading message size"},
      {"oversized data size", Concat({Le64(0), Le64(kMaxFrameDataSize + 1)}), u"ReadFile failed while reading message size"},
      {"huge data size", Concat({Le64(2), Bytes{'x', 0}, Le64(INT64_MAX)}), u"ReadFile failed while reading message size"},
  };
  std::size_t expected = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueFileHandle raw = RawClient(server.ServerName());
    ASSERT_TRUE(raw);
    ASSERT_TRUE(WriteBytes(raw.get(), c.frame));
    ++expected;
    ASSERT_TRUE(WaitUntil([&] { return errors.Entries().size() == expected; }, 3000));
    const auto e = errors.Entries().back();
    EXPECT_EQ(e.desc, c.desc);
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(ERROR_INVALID_DATA));
    Bytes more;
    EXPECT_FALSE(ReadExactly(raw.get(), more, 1)) << "the server closed the connection";
  }
  // Data announced but cut short by the client closing.
  {
    UniqueFileHandle raw = RawClient(server.ServerName());
    ASSERT_TRUE(WriteBytes(raw.get(), Concat({Le64(0), Le64(100), Bytes(10, 1)})));
  }
  ASSERT_TRUE(WaitUntil([&] { return errors.Entries().size() == expected + 1; }, 3000));
  EXPECT_EQ(errors.Entries().back().desc, u"ReadFile failed while reading message data");
  EXPECT_EQ(calls.load(), 0);
  EXPECT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 0; }, 3000));
}

TEST(IPCServer, FrameArrivingInSmallPiecesIsReadWhole) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"pieces"));
  server.OnExecuteRequest = EchoHandler;
  server.Start();
  UniqueFileHandle raw = RawClient(server.ServerName());
  ASSERT_TRUE(raw);
  IMessageData req = BuildSearchRequest(u"C:\\dir", u"query", 77);
  const Bytes data(req->Data().Storage().Data(), req->Data().Storage().Data() + req->Data().Storage().Size());
  const Bytes frame = Concat({Le64(4), Bytes{'i', 0, 'd', 0}, Le64(static_cast<std::int64_t>(data.size())), data});
  for (std::size_t i = 0; i < frame.size(); i += 3) {
    ASSERT_TRUE(WriteBytes(raw.get(), Bytes(frame.begin() + i, frame.begin() + std::min(frame.size(), i + 3))));
    ::Sleep(1);
  }
  Bytes reply;
  ASSERT_TRUE(ReadExactly(raw.get(), reply, frame.size()));
  EXPECT_EQ(reply, frame);
}

// A client may write requests ahead of its replies; the server reads them many at a time and
// holds replies back only while the next request is already whole, never while it waits for
// one still arriving.
TEST(IPCServer, RequestsWrittenAheadAreAnsweredInOrderWithoutWaitingForTheNext) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"ahead"));
  std::mutex m;
  std::vector<std::uint32_t> seen;
  server.OnExecuteRequest = [&](const ICommContext&, const IMessageData& request, const IMessageData&) {
    std::lock_guard lock(m);
    seen.push_back(request->Data().ReadCardinal(u"N"));
  };
  server.Start();
  UniqueFileHandle raw = RawClient(server.ServerName());
  ASSERT_TRUE(raw);
  auto frameOf = [](std::uint32_t n) {
    IMessageData req = NewMessageData();
    req->Data().WriteCardinal(u"N", n);
    const TMemoryStream& data = req->Data().Storage();
    return Concat({Le64(2), Bytes{'r', 0}, Le64(data.Size()), Bytes(data.Data(), data.Data() + data.Size())});
  };
  constexpr std::uint32_t kAhead = 40;
  Bytes burst;
  for (std::uint32_t n = 1; n <= kAhead; ++n) burst = Concat({burst, frameOf(n)});
  const Bytes last = frameOf(kAhead + 1);
  const std::size_t half = last.size() / 2;
  burst.insert(burst.end(), last.begin(), last.begin() + half);
  ASSERT_TRUE(WriteBytes(raw.get(), burst));
  // Every whole request is answered while the last one is still half written; a server that
  // held a reply back would time the connection out instead (5 s) and answer nothing more.
  Bytes replies;
  ASSERT_TRUE(ReadExactly(raw.get(), replies, kAhead * 16));
  EXPECT_EQ(replies, Bytes(kAhead * 16, 0));
  ASSERT_TRUE(WriteBytes(raw.get(), Bytes(last.begin() + half, last.end())));
  ASSERT_TRUE(ReadExactly(raw.get(), replies, 16));
  // The end marker only once every reply has been read: the server's disconnect discards what
  // the client has not read yet.
  ASSERT_TRUE(WriteBytes(raw.get(), Le64(-1)));
  Bytes more;
  EXPECT_FALSE(ReadExactly(raw.get(), more, 1));  // the end marker closed the connection
  std::vector<std::uint32_t> expected(kAhead + 1);
  for (std::uint32_t n = 1; n <= kAhead + 1; ++n) expected[n - 1] = n;
  std::lock_guard lock(m);
  EXPECT_EQ(seen, expected);
}

TEST(IPCServer, FiftyClientsAtOnceAreServedAndThePoolShrinksBack) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"fifty"));
  std::atomic<int> active{0}, peak{0};
  server.OnExecuteRequest = [&](const ICommContext&, const IMessageData& request, const IMessageData& response) {
    const int now = ++active;
    int p = peak.load();
    while (now > p && !peak.compare_exchange_weak(p, now)) {}
    ::Sleep(300);
    --active;
    response->Data().WriteCardinal(u"Back", request->Data().ReadCardinal(u"I"));
  };
  server.Start();
  ASSERT_TRUE(server.Listening());
  EXPECT_EQ(server.PoolSize(), 5u);
  constexpr int kClients = 50;
  std::atomic<int> served{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      TIPCClient c;
      c.SetServerName(server.ServerName());
      IMessageData req = NewMessageData();
      req->Data().WriteCardinal(u"I", static_cast<std::uint32_t>(i));
      IMessageData reply = c.ExecuteRequest(req, 10000);
      if (reply && c.AnswerValid() && reply->Data().ReadCardinal(u"Back") == static_cast<std::uint32_t>(i)) ++served;
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(served.load(), kClients);
  EXPECT_GT(peak.load(), 5) << "connections were served at the same time";
  EXPECT_TRUE(WaitUntil([&] { return server.PoolSize() == 5; }, 5000)) << server.PoolSize();
}

TEST(IPCServer, FixedPoolKeepsItsGrownWorkers) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"fixed"));
  server.SetDynamicPool(false);
  server.SetMinPoolSize(2);
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData&) { ::Sleep(200); };
  server.Start();
  std::vector<std::thread> clients;
  for (int i = 0; i < 6; ++i)
    clients.emplace_back([&] {
      TIPCClient c;
      c.SetServerName(server.ServerName());
      c.ExecuteRequest(BuildCancelRequest(1), 10000);
    });
  for (auto& t : clients) t.join();
  EXPECT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 0; }, 3000));
  EXPECT_GT(server.PoolSize(), 2u);
}

TEST(IPCServer, StopEndsListeningAndRestartServesAgain) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"stop"));
  server.OnExecuteRequest = EchoHandler;
  server.Start();
  server.Stop();
  EXPECT_FALSE(server.Listening());
  server.Stop();  // nothing when not listening
  TIPCClient c;
  c.SetServerName(server.ServerName());
  c.ConnectClient(10);
  EXPECT_FALSE(c.IsConnected());
  server.Restart();
  EXPECT_TRUE(server.Listening());
  IMessageData req = NewMessageData();
  req->Data().WriteString(u"S", u"again");
  IMessageData reply = c.ExecuteRequest(req, 2000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Data().ReadString(u"S"), u"again");
}

TEST(IPCServer, StopLetsAConnectionInProgressFinish) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"inflight"));
  std::atomic<bool> entered{false};
  server.OnExecuteRequest = [&](const ICommContext&, const IMessageData&, const IMessageData& response) {
    entered = true;
    ::Sleep(500);
    response->Data().WriteCardinal(u"Done", 1);
  };
  server.Start();
  TIPCClient c;
  c.SetServerName(server.ServerName());
  c.ConnectClient(2000);
  IMessageData reply;
  std::thread t([&] { reply = c.ExecuteConnectedRequest(BuildCancelRequest(1)); });
  ASSERT_TRUE(WaitUntil([&] { return entered.load(); }, 3000));
  server.Stop();
  t.join();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(c.AnswerValid());
  EXPECT_EQ(reply->Data().ReadCardinal(u"Done"), 1u);
}

TEST(IPCServer, SixAbnormalListenerEndsWithin30sStopTheRestartsForTheWindow) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  FaultyServer server;
  PrepareEcho(server, errors, u"budget");
  server.instanceFailuresLeft = 1000;
  server.Start();
  ASSERT_TRUE(WaitUntil([&] { return errors.Count(u"Tried to restart listening thread to many times!") == 1; }, 20000));
  EXPECT_FALSE(WaitUntil([&] { return server.instanceFailures.load() > 6; }, 500));
  EXPECT_EQ(server.instanceFailures.load(), 6);
  EXPECT_EQ(errors.Count(u"Could not create new pipe instance."), 6u);
  EXPECT_EQ(errors.Count(u"Listening thread was terminated abnormally!"), 6u);
  EXPECT_FALSE(server.Listening());
  for (const auto& e : errors.Entries()) {
    EXPECT_FALSE(e.hasContext);
    if (e.desc == u"Could not create new pipe instance.") {
      EXPECT_EQ(e.code, static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    }
  }
}

TEST(IPCServer, ListenerRecoversWithinTheBudget) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  FaultyServer server;
  PrepareEcho(server, errors, u"recover");
  server.instanceFailuresLeft = 3;
  server.Start();
  TIPCClient c;
  c.SetServerName(server.ServerName());
  IMessageData req = NewMessageData();
  req->Data().WriteCardinal(u"X", 9);
  IMessageData reply = c.ExecuteRequest(req, 5000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Data().ReadCardinal(u"X"), 9u);
  EXPECT_TRUE(server.Listening());
  EXPECT_EQ(errors.Count(u"Listening thread was terminated abnormally!"), 3u);
  EXPECT_EQ(errors.Count(u"Tried to restart listening thread to many times!"), 0u);
}

// A server extended with state its handlers use: its destructor shuts the server down while
// that state still exists, so no handler runs on a destroyed object.
class ServerWithState : public TIPCServer {
 public:
  ~ServerWithState() override {
    Shutdown();
    *alive_ = false;
  }
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

TEST(IPCServer, ShutdownEndsIdleConnectionsBeforeItReturns) {
  auto disconnects = std::make_shared<std::atomic<int>>(0);
  auto lateDisconnects = std::make_shared<std::atomic<int>>(0);
  TIPCClient client;  // outlives the server, connected and idle, as the program's is
  {
    ServerWithState server;
    server.SetServerName(UniquePipeName(u"shutdown"));
    server.OnExecuteRequest = EchoHandler;
    server.OnClientDisconnect = [alive = server.alive_, disconnects, lateDisconnects](const ICommContext&) {
      ++*disconnects;
      if (!*alive) ++*lateDisconnects;
    };
    server.Start();
    client.SetServerName(server.ServerName());
    client.ConnectClient(2000);
    ASSERT_TRUE(client.IsConnected());
    ASSERT_TRUE(client.ExecuteConnectedRequest(NewMessageData()));
  }
  EXPECT_EQ(disconnects->load(), 1);
  EXPECT_EQ(lateDisconnects->load(), 0);
  // The connection is gone on the client's side too.
  EXPECT_FALSE(client.ExecuteConnectedRequest(NewMessageData()) && client.AnswerValid());
}

std::size_t ThreadsOfThisProcess() {
  UniqueKernelHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  std::size_t n = 0;
  for (BOOL ok = ::Thread32First(snap.get(), &te); ok; ok = ::Thread32Next(snap.get(), &te))
    if (te.th32OwnerProcessID == ::GetCurrentProcessId()) ++n;
  return n;
}

TEST(IPCServer, StopAndStartAgainDoNotPileUpThreads) {
  TIPCServer server;
  server.SetServerName(UniquePipeName(u"cycles"));
  server.OnExecuteRequest = EchoHandler;
  server.Start();
  const std::size_t before = ThreadsOfThisProcess();
  for (int i = 0; i < 10; ++i) {
    server.Stop();
    server.Start();
  }
  ASSERT_TRUE(server.Listening());
  // Each stopped listener had its own pool of idle workers; they must go, not stay around.
  EXPECT_LE(ThreadsOfThisProcess(), before + 8) << "before: " << before;
}

TEST(IPCServer, StopDuringFailuresDoesNotRestart) {
  ErrorLog errors;  // outlives the server: its threads report until it is gone
  FaultyServer server;
  PrepareEcho(server, errors, u"stopfail");
  server.Start();
  server.Stop();
  server.instanceFailuresLeft = 1;  // nothing is listening, so nothing fails or restarts
  ::Sleep(300);
  EXPECT_EQ(server.instanceFailures.load(), 0);
  EXPECT_FALSE(server.Listening());
  EXPECT_TRUE(errors.Entries().empty());
}

// The access the ACL allows that account; nothing when it has no entry.
std::optional<ACCESS_MASK> AllowedFor(ACL* acl, WELL_KNOWN_SID_TYPE type) {
  BYTE want[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof want;
  if (!::CreateWellKnownSid(type, nullptr, want, &size)) return std::nullopt;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(acl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&allowed->SidStart, want)) return allowed->Mask;
  }
  return std::nullopt;
}

bool SidInAcl(ACL* acl, WELL_KNOWN_SID_TYPE type) { return AllowedFor(acl, type).has_value(); }

// The DACL a live instance of the server's pipe carries; freed with the descriptor.
struct PipeDacl {
  explicit PipeDacl(HANDLE pipe) {
    ok = ::GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) ==
         ERROR_SUCCESS;
  }
  ~PipeDacl() { ::LocalFree(sd); }
  PipeDacl(const PipeDacl&) = delete;
  PipeDacl& operator=(const PipeDacl&) = delete;
  bool ok = false;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
};

// An echo server with the given access, and the DACL its live pipe carries (null when it
// could not be read).
class SecuredEchoServer {
 public:
  SecuredEchoServer(const char16_t* tag, TPipeAccess access) {
    server_.SetServerName(UniquePipeName(tag));
    server_.SetPipeAccess(access);
    server_.OnExecuteRequest = EchoHandler;
    server_.Start();
    raw_ = RawClient(server_.ServerName());
    if (raw_) dacl_.emplace(raw_.get());
  }
  const std::u16string& Name() const { return server_.ServerName(); }
  PACL Dacl() const { return dacl_ && dacl_->ok ? dacl_->dacl : nullptr; }
  bool DaclRead() const { return dacl_ && dacl_->ok; }

 private:
  TIPCServer server_;
  UniqueFileHandle raw_;
  std::optional<PipeDacl> dacl_;
};

TEST(IPCServer, PipeAdmitsOnlySystemAdministratorsAndTheUser) {
  SecuredEchoServer server(u"dacl", TPipeAccess::OwnerSystemAdmins);
  ASSERT_TRUE(server.DaclRead());
  PACL dacl = server.Dacl();
  ASSERT_NE(dacl, nullptr) << "a NULL DACL would admit everyone";
  EXPECT_EQ(dacl->AceCount, 3);
  EXPECT_TRUE(SidInAcl(dacl, WinLocalSystemSid));
  EXPECT_TRUE(SidInAcl(dacl, WinBuiltinAdministratorsSid));
  EXPECT_FALSE(SidInAcl(dacl, WinWorldSid));
  EXPECT_FALSE(SidInAcl(dacl, WinAuthenticatedUserSid));
}

// Wine does not check pipe access, so the check Windows makes is done here: what our client
// asks for (as CreateFile widens it) must lie within what an ordinary user is granted, and
// serving the name must not.
TEST(IPCServer, OrdinaryUsersMayConnectButNotServe) {
  SecuredEchoServer server(u"users", TPipeAccess::OwnerSystemAdminsAndUsers);
  ASSERT_TRUE(server.DaclRead());
  ASSERT_NE(server.Dacl(), nullptr);
  const std::optional<ACCESS_MASK> users = AllowedFor(server.Dacl(), WinAuthenticatedUserSid);
  ASSERT_TRUE(users.has_value());
  GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  ACCESS_MASK wanted = TIPCClient::kPipeAccess | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
  ::MapGenericMask(&wanted, &files);
  EXPECT_EQ(wanted & ~*users, 0u) << std::hex << "missing rights 0x" << (wanted & ~*users);
  EXPECT_EQ(*users & FILE_CREATE_PIPE_INSTANCE, 0u);
  // The client still talks to the server with what it asks for.
  TIPCClient client;
  client.SetServerName(server.Name());
  IMessageData request = NewMessageData();
  request->Data().WriteString(u"S", u"hello");
  const IMessageData reply = client.ExecuteRequest(request, 2000);
  ASSERT_TRUE(reply && client.AnswerValid());
  EXPECT_EQ(reply->Data().ReadString(u"S"), u"hello");
}

}  // namespace
