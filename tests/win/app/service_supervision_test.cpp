// The program keeps its search service installed and running, as real processes against the
// test prefix's service control manager: the elevated helper instance with its exit codes, the
// program's handler with its message boxes read from the program's windows, and a user
// without administrator rights (a token whose Administrators group is deny-only and not
// elevated). Each test runs a copy of the program in a folder of its own, beside the service
// program it is to install, and removes the service again however it ends.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "ScmTestSupport.h"
#include "TestProcess.h"
#include "core/ElevatedArguments.h"
#include "core/TextUtils.h"

using namespace testing_support;
using namespace scm_testing;

namespace {
constexpr wchar_t kService[] = L"RuvoSearchService";
constexpr wchar_t kMainClass[] = L"TfrmRuvoSearch";
constexpr wchar_t kMissing[] = L"找不到搜索后台程序文件，请重新安装该应用程序";
constexpr wchar_t kAsk[] = L"搜索后台程序服务没有运行，是否启动搜索后台程序服务？";
constexpr wchar_t kQuitting[] = L"搜索后台程序服务没有运行，程序即将退出。";
constexpr wchar_t kFailed[] = L"无法启动搜索后台服务程序，请重新安装本程序。";

std::wstring Marker() { return W(kElevationMarker); }

enum class ServiceProgram { None, Real, Pending };

// A folder with a copy of the program and, as RuvoService.exe, the service program asked for
// (the slow-starting fixture follows plan).
std::wstring ProgramFolder(const std::wstring& name, ServiceProgram program, const char* plan = "0 0") {
  const std::wstring dir = TempFolder(L"ruvo-sup-" + name);
  ::CopyFileW((ExeDirectory() + L"RuvoSearch.exe").c_str(), (dir + L"RuvoSearch.exe").c_str(), FALSE);
  const std::wstring service = dir + L"RuvoService.exe";
  ::DeleteFileW(service.c_str());
  if (program == ServiceProgram::Real) ::CopyFileW((ExeDirectory() + L"RuvoService.exe").c_str(), service.c_str(), FALSE);
  if (program == ServiceProgram::Pending) {
    ::CopyFileW((ExeDirectory() + L"pending_service.exe").c_str(), service.c_str(), FALSE);
    WritePendingPlan(service, plan);
  }
  return dir;
}

// Starts exe as a user without administrator rights: the linked (filtered) token of ours,
// with the Administrators group made deny-only.
ChildProcess StartAsStandardUser(const std::wstring& exe, const std::wstring& args) {
  UniqueKernelHandle own, linked, primary, restricted;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put())) return {};
  HANDLE l = nullptr;
  DWORD size = 0;
  if (!::GetTokenInformation(own.get(), TokenLinkedToken, &l, sizeof(l), &size)) return {};
  linked.reset(l);
  if (!::DuplicateTokenEx(linked.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, primary.put()))
    return {};
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins))
    return {};
  SID_AND_ATTRIBUTES disable{admins, 0};
  const BOOL made = ::CreateRestrictedToken(primary.get(), 0, 1, &disable, 0, nullptr, 0, nullptr, restricted.put());
  ::FreeSid(admins);
  if (!made) return {};
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessAsUserW(restricted.get(), exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi))
    return {};
  ::CloseHandle(pi.hThread);
  return ChildProcess(pi.hProcess, pi.dwProcessId);
}

// The program's message box: its texts, after checking its title and owner; nullptr when
// none came within ms.
HWND WaitForBox(ChildProcess& p, DWORD ms) { return WaitForProcessWindow(p.Pid(), L"#32770", ms, true); }

std::vector<std::wstring> ReadBox(ChildProcess& p, HWND box) {
  EXPECT_EQ(WindowText(box), L"Ruvoso");
  EXPECT_EQ(::GetWindow(box, GW_OWNER), FindProcessWindow(p.Pid(), kMainClass));
  return DialogStaticTexts(box);
}

void Answer(HWND box, int id) {
  ::PostMessageW(box, WM_COMMAND, id, 0);
  WaitUntil([&] { return !::IsWindow(box); }, 5000);
}

long CloseProgram(ChildProcess& p) {
  if (HWND form = FindProcessWindow(p.Pid(), kMainClass)) ::PostMessageW(form, WM_CLOSE, 10, 10);
  return p.Wait(15000);
}

DWORD ServiceState() {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueScHandle service(manager ? ::OpenServiceW(manager.get(), kService, SERVICE_QUERY_STATUS) : nullptr);
  return service ? Status(service.get()).dwCurrentState : 0;
}

bool WaitForRunning(DWORD ms) {
  return WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }, ms);
}

void ExpectInstalledFrom(const std::wstring& dir) {
  const Config c = ReadConfig(kService);
  ASSERT_TRUE(c.read);
  EXPECT_EQ(c.binaryPath, L"\"" + dir + L"RuvoService.exe\"");
  EXPECT_EQ(c.displayName, L"Ruvo Search Service");
  EXPECT_EQ(c.type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS));
  EXPECT_EQ(c.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(c.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
}

// Installs the service as a previous install left it.
void PreInstall(const std::wstring& dir, DWORD startType, bool start) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const std::wstring path = L"\"" + dir + L"RuvoService.exe\"";
  UniqueScHandle service(::CreateServiceW(manager.get(), kService, L"Ruvo Search Service", SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, startType,
                                          SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                                          nullptr));
  ASSERT_TRUE(service) << ::GetLastError();
  if (start) {
    ASSERT_TRUE(::StartServiceW(service.get(), 0, nullptr));
    ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING, 10000));
  }
}

// RuvoSearch.exe processes running from that folder.
int ProgramsRunningFrom(const std::wstring& dir) {
  int n = 0;
  UniqueFileHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  for (BOOL more = ::Process32FirstW(snap.get(), &e); more; more = ::Process32NextW(snap.get(), &e)) {
    if (lstrcmpiW(e.szExeFile, L"RuvoSearch.exe") != 0) continue;
    UniqueKernelHandle p(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID));
    wchar_t path[MAX_PATH] = L"";
    DWORD len = MAX_PATH;
    if (p && ::QueryFullProcessImageNameW(p.get(), 0, path, &len) && lstrcmpiW(path, (dir + L"RuvoSearch.exe").c_str()) == 0)
      ++n;
  }
  return n;
}

class ServiceSupervision : public ::testing::Test {
 protected:
  ServiceCleanup cleanup_{kService};
};

// ---- the elevated helper instance

TEST_F(ServiceSupervision, ElevatedInstanceInstallsTheServiceBesideItsExeAndEndsWith0) {
  const std::wstring dir = ProgramFolder(L"helper", ServiceProgram::Pending);
  ChildProcess helper(dir + L"RuvoSearch.exe", L"-" + W(LowerAscii(kElevationMarker)) + L" /SvcInstall");
  ASSERT_TRUE(helper.Valid());
  EXPECT_EQ(helper.Wait(40000), 0);
  EXPECT_EQ(FindProcessWindow(helper.Pid(), nullptr), nullptr);
  ExpectInstalledFrom(dir);
  EXPECT_EQ(ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceSupervision, ElevatedInstanceExitCodes) {
  struct Case {
    const char* what;
    std::wstring args;
    ServiceProgram program;
    const char* plan;
    long code;
  };
  std::wstring many = L"/" + Marker() + L" /SvcInstall";
  for (int i = 0; i < 3000; ++i) many += L" \"a b\"";
  const Case cases[] = {
      {"task in lower case", L"/" + Marker() + L" /svcinstall", ServiceProgram::Pending, "0 0", 31},
      {"task and junk", L"/" + Marker() + L" /SvcInstall junk", ServiceProgram::Pending, "0 0", 31},
      {"unknown task", L"/" + Marker() + L" C:\\other\\RuvoService.exe", ServiceProgram::Pending, "0 0", 31},
      {"no service program", L"/" + Marker() + L" /SvcInstall", ServiceProgram::None, "", 31},
      {"a huge argument list", many, ServiceProgram::Pending, "0 0", 31},
      {"a service that never runs", L"/" + Marker() + L" /SvcInstall", ServiceProgram::Pending, "-1 500", 1060},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveService(kService);
    const std::wstring dir = ProgramFolder(L"codes", c.program, c.plan);
    ChildProcess helper(dir + L"RuvoSearch.exe", c.args);
    ASSERT_TRUE(helper.Valid());
    EXPECT_EQ(helper.Wait(40000), c.code);
    if (c.code == 31) {
      EXPECT_FALSE(ReadConfig(kService).read) << "installed";
    }
  }
}

TEST_F(ServiceSupervision, ElevatedInstanceWithoutElevationEndsWith5AndDoesNothing) {
  const std::wstring dir = ProgramFolder(L"limited", ServiceProgram::Pending);
  ChildProcess helper = StartAsStandardUser(dir + L"RuvoSearch.exe", L"/" + Marker() + L" /SvcInstall");
  ASSERT_TRUE(helper.Valid()) << ::GetLastError();
  EXPECT_EQ(helper.Wait(20000), 5);
  EXPECT_FALSE(ReadConfig(kService).read);
}

TEST_F(ServiceSupervision, AMarkerInsideAnotherArgumentStartsTheProgramNormally) {
  const std::wstring dir = ProgramFolder(L"inside", ServiceProgram::Pending);
  ChildProcess p(dir + L"RuvoSearch.exe", L"x/" + Marker() + L" /SvcInstall");
  ASSERT_NE(WaitForProcessWindow(p.Pid(), kMainClass, 15000), nullptr);
  EXPECT_EQ(CloseProgram(p), 0);
}

// ---- the program's handler, as an administrator

TEST_F(ServiceSupervision, NotInstalledIsInstalledStartedAndTheProgramReachesIt) {
  const std::wstring dir = ProgramFolder(L"fresh", ServiceProgram::Real);
  ChildProcess p(dir + L"RuvoSearch.exe");
  ASSERT_TRUE(p.Valid());
  ASSERT_TRUE(WaitForRunning(30000));
  ExpectInstalledFrom(dir);
  // The service's pipe is there for the program's searches, and no message was needed.
  EXPECT_TRUE(WaitUntil([] { return ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 100) != FALSE; }, 10000));
  EXPECT_EQ(WaitForBox(p, 1500), nullptr);
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(CloseProgram(p), 0);
}

TEST_F(ServiceSupervision, DisabledIsReEnabledAndStarted) {
  const std::wstring dir = ProgramFolder(L"disabled", ServiceProgram::Pending);
  PreInstall(dir, SERVICE_DISABLED, false);
  ChildProcess p(dir + L"RuvoSearch.exe");
  ASSERT_TRUE(WaitForRunning(30000));
  ExpectInstalledFrom(dir);
  EXPECT_EQ(WaitForBox(p, 1000), nullptr);
  EXPECT_EQ(CloseProgram(p), 0);
}

TEST_F(ServiceSupervision, RunningAndAutomaticIsLeftAsItIs) {
  const std::wstring dir = ProgramFolder(L"running", ServiceProgram::Pending);
  PreInstall(dir, SERVICE_AUTO_START, true);
  ChildProcess p(dir + L"RuvoSearch.exe");
  ASSERT_NE(WaitForProcessWindow(p.Pid(), kMainClass, 15000), nullptr);
  EXPECT_EQ(WaitForBox(p, 3000), nullptr);
  const Config c = ReadConfig(kService);
  EXPECT_EQ(c.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(c.errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));  // not touched
  EXPECT_EQ(ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(CloseProgram(p), 0);
}

TEST_F(ServiceSupervision, MissingServiceProgramIsToldAndTheProgramKeepsCheckingEvery5000ms) {
  const std::wstring dir = ProgramFolder(L"missing", ServiceProgram::None);
  ChildProcess p(dir + L"RuvoSearch.exe");
  HWND box = WaitForBox(p, 15000);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(Contains(ReadBox(p, box), kMissing));
  Answer(box, IDOK);
  const ULONGLONG answered = ::GetTickCount64();
  EXPECT_TRUE(p.Running());
  box = WaitForBox(p, 15000);
  ASSERT_NE(box, nullptr) << "the program stopped checking";
  EXPECT_GE(::GetTickCount64() - answered, 4900u);
  EXPECT_TRUE(Contains(ReadBox(p, box), kMissing));
  Answer(box, IDOK);
  EXPECT_FALSE(ReadConfig(kService).read);
  EXPECT_EQ(CloseProgram(p), 0);
}

TEST_F(ServiceSupervision, AServiceStartPendingFor2sThenRunningIsASuccess) {
  const std::wstring dir = ProgramFolder(L"slow", ServiceProgram::Pending, "2000 3000");
  ChildProcess p(dir + L"RuvoSearch.exe");
  ASSERT_TRUE(WaitForRunning(30000));
  EXPECT_EQ(WaitForBox(p, 2000), nullptr);
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(CloseProgram(p), 0);
}

TEST_F(ServiceSupervision, AServiceThatNeverLeavesStartPendingFailsAfterTheBoundAndTheProgramCloses) {
  const std::wstring dir = ProgramFolder(L"stuck", ServiceProgram::Pending, "-1 3000");
  const ULONGLONG started = ::GetTickCount64();
  ChildProcess p(dir + L"RuvoSearch.exe");
  HWND box = WaitForBox(p, 40000);
  ASSERT_NE(box, nullptr);
  EXPECT_GE(::GetTickCount64() - started, 2500u);  // the service's hint was waited out
  EXPECT_TRUE(Contains(ReadBox(p, box), kFailed));
  Answer(box, IDOK);
  EXPECT_EQ(p.Wait(15000), 0);
}

// ---- a user without administrator rights

// Answering Yes starts the elevated instance with "runas"; Wine elevates only a process whose
// token is linked to a full one, which the restricted token made here is not, so that path is
// driven in service_boundary_test.cpp with the administrator answer supplied there.

TEST_F(ServiceSupervision, StandardUserAnsweringNoIsToldAndTheProgramEndsLeavingNoProcess) {
  const std::wstring dir = ProgramFolder(L"no", ServiceProgram::Pending);
  ChildProcess p = StartAsStandardUser(dir + L"RuvoSearch.exe", L"");
  ASSERT_TRUE(p.Valid());
  HWND box = WaitForBox(p, 15000);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(Contains(ReadBox(p, box), kAsk));
  Answer(box, IDNO);
  box = WaitForBox(p, 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(Contains(ReadBox(p, box), kQuitting));
  Answer(box, IDOK);
  EXPECT_EQ(p.Wait(15000), 0);
  EXPECT_EQ(ProgramsRunningFrom(dir), 0);
  EXPECT_FALSE(ReadConfig(kService).read);
}
}  // namespace
