// RuvoService.exe installed with the service control manager of the test prefix, with the
// identity the program installs it with: started, reached on its request pipe, answering on
// our own result pipe, stopped and deleted. The service is removed again however a test ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <vector>

#include "core/FileIndexQuery.h"
#include "core/SearchMessages.h"
#include "core/TextUtils.h"
#include "service/DirectoryWalker.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "win/svc/ServiceProcess.h"
#include "ScmTestSupport.h"
#include "ServiceTestSupport.h"
#include "TempTree.h"
#include "TestWait.h"

namespace {
using service_testing::Expected;
using service_testing::Items;
using service_testing::ResultRecorder;
using service_testing::SendRequest;
using namespace std::chrono_literals;

constexpr wchar_t kServiceName[] = L"RuvoSearchService";
constexpr wchar_t kDisplayName[] = L"Ruvo Search Service";
constexpr DWORD kServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
constexpr DWORD kStateLimitMs = 20000;

using scm_testing::Status;
using scm_testing::WaitForState;

// The service, installed for the life of this object; gone again afterwards, also when the
// test failed half-way.
class InstalledService {
 public:
  explicit InstalledService(const std::wstring& arguments) {
    manager_.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager_) return;
    scm_testing::RemoveService(kServiceName);  // a leftover of an aborted run
    binaryPath_ = L"\"" + ExeDirectory() + L"RuvoService.exe\" " + arguments;
    service_.reset(::CreateServiceW(manager_.get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS, kServiceType,
                                    SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, binaryPath_.c_str(), nullptr, nullptr,
                                    nullptr, nullptr, nullptr));
  }
  ~InstalledService() {
    service_.reset();
    scm_testing::RemoveService(kServiceName);
  }
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool Installed() const { return static_cast<bool>(service_); }
  SC_HANDLE Handle() const { return service_.get(); }
  SC_HANDLE Manager() const { return manager_.get(); }
  const std::wstring& BinaryPath() const { return binaryPath_; }

  bool Start() { return ::StartServiceW(service_.get(), 0, nullptr) && WaitForState(service_.get(), SERVICE_RUNNING, kStateLimitMs); }
  bool Stop(DWORD limitMs) {
    SERVICE_STATUS status{};
    return ::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status) &&
           WaitForState(service_.get(), SERVICE_STOPPED, limitMs);
  }

 private:
  UniqueScHandle manager_;
  UniqueScHandle service_;
  std::wstring binaryPath_;
};




testing_support::TempTree* g_temp = nullptr;
std::wstring g_tree;
constexpr int kBulkFiles = 120;

void WriteFileAt(const std::wstring& path) { std::ofstream(path.c_str()) << "x"; }

class ServiceScmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_temp = new testing_support::TempTree(L"ruvo-scm");
    g_tree = g_temp->Root();
    for (const wchar_t* f : {L"Letters", L"Letters\\Old Letters", L"Bulk"})
      ::CreateDirectoryW((g_tree + L"\\" + f).c_str(), nullptr);
    for (const wchar_t* f : {L"Letters\\letter-to-anna.txt", L"Letters\\Old Letters\\LETTER.doc", L"notes.txt"})
      WriteFileAt(g_tree + L"\\" + f);
    for (int i = 0; i < kBulkFiles; ++i) WriteFileAt(g_tree + L"\\Bulk\\bulk" + std::to_wstring(i) + L".dat");
  }
  static void TearDownTestSuite() {
    delete g_temp;
    g_temp = nullptr;
  }
  // Starts the service on the tree, with extra command-line arguments.
  static std::wstring Arguments(const std::wstring& extra = L"") {
    return L"/root \"" + g_tree + L"\"" + (extra.empty() ? L"" : L" " + extra);
  }
};

TEST_F(ServiceScmTest, InstalledWithTheProgramsIdentity) {
  InstalledService service(Arguments());
  ASSERT_TRUE(service.Installed()) << ::GetLastError();
  DWORD needed = 0;
  ::QueryServiceConfigW(service.Handle(), nullptr, 0, &needed);
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  ASSERT_TRUE(::QueryServiceConfigW(service.Handle(), config, needed, &needed));
  EXPECT_EQ(config->dwServiceType, 0x110u);
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_STREQ(config->lpBinaryPathName, service.BinaryPath().c_str());
  EXPECT_STREQ(config->lpDisplayName, kDisplayName);
  EXPECT_TRUE(config->lpServiceStartName == nullptr || lstrcmpiW(config->lpServiceStartName, L"LocalSystem") == 0);
}

TEST_F(ServiceScmTest, StartedReachedAnsweringAndStopped) {
  ResultRecorder results;
  InstalledService service(Arguments());
  ASSERT_TRUE(service.Installed()) << ::GetLastError();
  ASSERT_TRUE(service.Start()) << "state " << Status(service.Handle()).dwCurrentState;
  const DWORD servicePid = Status(service.Handle()).dwProcessId;
  ASSERT_NE(servicePid, 0u);
  EXPECT_EQ(ServiceProcessId(kServiceName), servicePid);  // as any user may ask

  // Running means a free instance listens: the program's 10 ms connection attempt succeeds,
  // and the one serving it is the service's process.
  TIPCClient probe;
  probe.SetServerName(kSearchRequestPipe);
  probe.ConnectClient(10);
  ASSERT_TRUE(probe.IsConnected());
  probe.DisconnectClient();
  {
    // The listener makes its next instance once the probe's connection has gone to a worker,
    // which a loaded machine may take longer than 10 ms to do.
    UniqueFileHandle pipe;
    testing_support::WaitUntil([&] {
      pipe.reset(::CreateFileW(L"\\\\.\\pipe\\SearchRequestPipe", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr));
      return static_cast<bool>(pipe);
    }, 2000);
    ASSERT_TRUE(pipe) << ::GetLastError();
    ULONG serverPid = 0;
    ASSERT_TRUE(::GetNamedPipeServerProcessId(pipe.get(), &serverPid));
    EXPECT_EQ(serverPid, servicePid);
  }

  const std::pair<std::uint32_t, std::u16string> queries[] = {{11, u"letter"}, {12, u"*.TXT"}, {13, u"bulk1?.dat"}};
  for (const auto& [box, query] : queries) {
    ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), query, box)));
    ASSERT_TRUE(results.WaitFor(box, kActionAnswerEnd, 20s)) << Utf16ToUtf8(query);
    const auto answer = results.ForBox(box);
    ASSERT_GE(answer.size(), 2u);
    EXPECT_EQ(answer.front().action, kActionAnswerBegin);
    EXPECT_EQ(answer.back().action, kActionAnswerEnd);
    EXPECT_EQ(Items(answer), Expected(g_tree, query)) << Utf16ToUtf8(query);
    EXPECT_FALSE(Items(answer).empty());
  }

  ASSERT_TRUE(service.Stop(10000));
  // Stopped means gone: its process has ended and nothing listens any more.
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, servicePid));
  EXPECT_TRUE(!process || ::WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0);
  EXPECT_FALSE(::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 200));
  EXPECT_EQ(ServiceProcessId(kServiceName), 0u);
}

TEST_F(ServiceScmTest, CapFromTheCommandLineLimitsAnAnswer) {
  ResultRecorder results;
  InstalledService service(Arguments(L"/cap 25"));
  ASSERT_TRUE(service.Installed()) << ::GetLastError();
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"bulk", 21)));
  ASSERT_TRUE(results.WaitFor(21, kActionAnswerEnd, 20s));
  const auto items = Items(results.ForBox(21));
  const std::set<ULONG> senders = results.SendersOf(21);
  EXPECT_EQ(items.size(), 25u) << "answered by " << senders.size() << " process(es), first " << *senders.begin()
                               << "; the service is process " << Status(service.Handle()).dwProcessId;
  const auto all = Expected(g_tree, u"bulk");
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kBulkFiles) + 1);  // the files and their folder
  EXPECT_TRUE(std::includes(all.begin(), all.end(), items.begin(), items.end()));
  EXPECT_TRUE(service.Stop(10000));
}

TEST_F(ServiceScmTest, StopsPromptlyWhileAProgramStallsAnAnswer) {
  ResultRecorder stalled(true);
  InstalledService service(Arguments());
  ASSERT_TRUE(service.Installed()) << ::GetLastError();
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"bulk", 31)));
  // The service now waits in the middle of an answer for a reply that does not come.
  ASSERT_TRUE(stalled.WaitFor(31, kActionAnswerBegin, 20s));
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_TRUE(service.Stop(10000));
  EXPECT_LT(::GetTickCount64() - before, 10000u);
  stalled.Release();
}

// A request client that sends its request and the end marker but never reads the reply and
// never closes: the service's pipe worker must not wait for it for ever.
UniqueFileHandle RequestWithoutReading(const IMessageData& request) {
  UniqueFileHandle pipe;
  for (int i = 0; i < 50 && !pipe; ++i) {
    pipe.reset(::CreateFileW(L"\\\\.\\pipe\\SearchRequestPipe", GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if (!pipe) ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 100);
  }
  if (!pipe) return pipe;
  std::vector<std::uint8_t> frame(16, 0);  // empty ID, then the data size
  const auto& storage = request->Data().Storage();
  const std::uint64_t size = storage.Size();
  std::memcpy(frame.data() + 8, &size, 8);
  frame.insert(frame.end(), storage.Data(), storage.Data() + size);
  frame.insert(frame.end(), 8, 0xFF);  // the end marker
  DWORD written = 0;
  ::WriteFile(pipe.get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr);
  return pipe;
}

TEST_F(ServiceScmTest, StopsWithinTenSecondsWhileClientsNeverRead) {
  InstalledService service(Arguments());
  ASSERT_TRUE(service.Installed()) << ::GetLastError();
  ASSERT_TRUE(service.Start());
  const DWORD servicePid = Status(service.Handle()).dwProcessId;
  service_testing::DeafResultPipe deaf;
  ASSERT_TRUE(deaf.Valid());
  // One client never reads its reply; another asks for an answer and never reads it.
  const UniqueFileHandle silent = RequestWithoutReading(BuildSearchRequest(U(g_tree), u"bulk", 41));
  ASSERT_TRUE(silent);
  const UniqueFileHandle asking = RequestWithoutReading(BuildSearchRequest(U(g_tree), u"bulk", 42));
  ASSERT_TRUE(asking);
  ASSERT_TRUE(deaf.WaitConnected(20000));
  ::Sleep(500);  // the service's write on the deaf pipe is under way
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_TRUE(service.Stop(10000));
  EXPECT_LT(::GetTickCount64() - before, 10000u);
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, servicePid));
  EXPECT_TRUE(!process || ::WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0);
}

// The channel the program reports at start-up is kept with the service's settings, and goes
// with the service.
TEST_F(ServiceScmTest, KeepsTheReportedInstallChannelWithTheService) {
  constexpr wchar_t kParameters[] = L"SYSTEM\\CurrentControlSet\\Services\\RuvoSearchService\\Parameters";
  auto channel = [&]() -> long long {
    DWORD value = 0, size = sizeof(value);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kParameters, L"Channel", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
      return -1;
    return value;
  };
  {
    InstalledService service(Arguments());
    ASSERT_TRUE(service.Installed()) << ::GetLastError();
    ASSERT_TRUE(service.Start());
    auto reported = [&](std::uint32_t sent) {
      if (!SendRequest(BuildChannelReport(sent))) return -2ll;
      testing_support::WaitUntil([&] { return channel() == sent; }, 5000);
      return channel();
    };
    EXPECT_EQ(reported(4242), 4242);
    EXPECT_EQ(reported(0xFFFFFFFFu), 0xFFFFFFFFll);  // the whole unsigned range
  }
  EXPECT_EQ(channel(), -1);
}

TEST_F(ServiceScmTest, DeletedServiceLeavesNothingBehind) {
  {
    InstalledService service(Arguments());
    ASSERT_TRUE(service.Installed()) << ::GetLastError();
    ASSERT_TRUE(service.Start());
  }
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  ASSERT_TRUE(manager);
  UniqueScHandle gone(::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
  EXPECT_FALSE(gone);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_FALSE(::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 200));
}
}  // namespace
