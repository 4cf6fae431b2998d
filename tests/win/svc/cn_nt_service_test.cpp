// TCnNTService against the test prefix's service control manager: our real RuvoService.exe
// (serving only an empty folder) and a fixture service that is slow to start, installed under
// test names of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ScmTestSupport.h"
#include "win/common/WideText.h"
#include "win/svc/TCnNTService.h"

using namespace scm_testing;

namespace {
const std::wstring kName = L"RuvoSvcTest" + std::to_wstring(::GetCurrentProcessId());
constexpr wchar_t kDisplay[] = L"Ruvo Service Test";

std::wstring ServiceCommand() {
  static const std::wstring root = TempFolder(L"ruvo-svc-root");
  return L"\"" + ExeDirectory() + L"RuvoService.exe\" /root \"" + root + L".\"";
}

// A copy of the fixture with a plan of its own.
std::wstring PendingService(const char* plan) {
  const std::wstring exe = TempFolder(L"ruvo-svc-pending") + L"pending_service.exe";
  ::CopyFileW((ExeDirectory() + L"pending_service.exe").c_str(), exe.c_str(), FALSE);
  WritePendingPlan(exe, plan);
  return exe;
}

TEST(CnNTService, AServiceNotInstalledAnswersFalseAndRecordsTheOpenFailure) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  EXPECT_EQ(s.ServiceName(), kName);
  EXPECT_EQ(s.ComputerName(), L"");
  EXPECT_FALSE(s.IsInstalled());
  EXPECT_EQ(s.LastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(s.LastErrorMsg(), L"OpenService fail");
  EXPECT_EQ(s.CurrentState(), TServiceCurrentState::ssNotInstalled);
  EXPECT_FALSE(s.CanStart());
  EXPECT_FALSE(s.Start());
  // The configuration cannot be read: the defaults stand.
  EXPECT_EQ(s.StartType(), TServiceStartup::ssAutomatic);
  EXPECT_EQ(s.ErrorControl(), TServiceErrorControl::seIgnore);
  EXPECT_NO_THROW(s.SetStartType(TServiceStartup::ssDisabled));
  EXPECT_FALSE(ReadConfig(kName).read);
}

TEST(CnNTService, InstallsWithTheProgramsIdentityAndAgainIsTrue) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(ServiceCommand(), kDisplay)) << s.LastErrorCode();
  const Config c = ReadConfig(kName);
  ASSERT_TRUE(c.read);
  EXPECT_EQ(c.type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS));
  EXPECT_EQ(c.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(c.errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
  EXPECT_EQ(c.binaryPath, ServiceCommand());
  EXPECT_EQ(c.displayName, kDisplay);
  EXPECT_TRUE(c.account.empty() || lstrcmpiW(c.account.c_str(), L"LocalSystem") == 0) << c.account;
  EXPECT_TRUE(s.IsInstalled());
  EXPECT_EQ(s.StartType(), TServiceStartup::ssAutomatic);
  EXPECT_EQ(s.ErrorControl(), TServiceErrorControl::seIgnore);
  EXPECT_EQ(s.CurrentState(), TServiceCurrentState::ssStopped);
  EXPECT_TRUE(s.CanStart());
  // Installing over an existing service is no failure and changes nothing.
  EXPECT_TRUE(s.Install(L"\"C:\\elsewhere.exe\"", L"Other"));
  EXPECT_EQ(ReadConfig(kName).binaryPath, ServiceCommand());
}

TEST(CnNTService, AnInstallTheManagerRefusesRecordsItsFailure) {
  TCnNTService s(L"");  // no name
  EXPECT_FALSE(s.Install(ServiceCommand(), kDisplay));
  EXPECT_EQ(s.LastErrorMsg(), L"CreateService fail.");
  EXPECT_NE(s.LastErrorCode(), 0u);
}

TEST(CnNTService, StartsRunsAndAStartOfARunningServiceIsTrue) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(ServiceCommand(), kDisplay));
  ASSERT_TRUE(s.Start()) << s.LastErrorCode();
  EXPECT_EQ(s.WaitWhileStartPending([](DWORD ms) { ::Sleep(ms); }), TServiceCurrentState::ssRunning);
  EXPECT_EQ(s.CurrentState(), TServiceCurrentState::ssRunning);
  EXPECT_FALSE(s.CanStart());
  EXPECT_TRUE(s.Start());  // already running
  EXPECT_TRUE(::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 2000));
}

TEST(CnNTService, StartTypeAndErrorControlAreWrittenAndReadBack) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(ServiceCommand(), kDisplay));
  s.SetStartType(TServiceStartup::ssDisabled);
  EXPECT_EQ(ReadConfig(kName).startType, static_cast<DWORD>(SERVICE_DISABLED));
  EXPECT_EQ(s.StartType(), TServiceStartup::ssDisabled);
  EXPECT_FALSE(s.Start());
  EXPECT_EQ(s.LastErrorMsg(), L"StartService fail");
  EXPECT_EQ(s.LastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));

  struct Case {
    TServiceStartup start;
    TServiceErrorControl error;
  };
  const Case cases[] = {{TServiceStartup::ssManual, TServiceErrorControl::seNormal},
                        {TServiceStartup::ssAutomatic, TServiceErrorControl::seSevere},
                        {TServiceStartup::ssAutomatic, TServiceErrorControl::seCritical},
                        {TServiceStartup::ssDisabled, TServiceErrorControl::seIgnore}};
  for (const auto& c : cases) {
    s.SetStartType(c.start);
    s.SetErrorControl(c.error);
    const Config read = ReadConfig(kName);
    EXPECT_EQ(read.startType, static_cast<DWORD>(c.start));
    EXPECT_EQ(read.errorControl, static_cast<DWORD>(c.error));
    EXPECT_EQ(read.binaryPath, ServiceCommand());  // nothing else changed
    EXPECT_EQ(read.displayName, kDisplay);
    // Another object reads what the manager holds.
    TCnNTService fresh(kName);
    EXPECT_EQ(fresh.StartType(), c.start);
    EXPECT_EQ(fresh.ErrorControl(), c.error);
  }
}

TEST(CnNTService, AConfigurationChangedBehindItsBackIsReadAfreshBeforeAWrite) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(ServiceCommand(), kDisplay));
  EXPECT_EQ(s.StartType(), TServiceStartup::ssAutomatic);  // remembered from here on
  ASSERT_TRUE(Reconfigure(kName, SERVICE_DISABLED, SERVICE_NO_CHANGE));
  EXPECT_EQ(s.StartType(), TServiceStartup::ssAutomatic);
  s.SetStartType(TServiceStartup::ssAutomatic);  // differs from what the manager holds now
  EXPECT_EQ(ReadConfig(kName).startType, static_cast<DWORD>(SERVICE_AUTO_START));
}

TEST(CnNTService, AnUnknownStartTypeOrErrorControlRaises) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(ServiceCommand(), kDisplay));
  // Boot start is for drivers: a driver's configuration read through the wrapper.
  const std::wstring driver = kName + L"Drv";
  ServiceCleanup driverCleanup(driver);
  {
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle created(::CreateServiceW(manager.get(), driver.c_str(), driver.c_str(), SERVICE_ALL_ACCESS,
                                            SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, SERVICE_ERROR_NORMAL,
                                            L"C:\\windows\\system32\\drivers\\ruvo-none.sys", nullptr, nullptr,
                                            nullptr, nullptr, nullptr));
    ASSERT_TRUE(created) << ::GetLastError();
  }
  TCnNTService d(driver);
  try {
    d.StartType();
    ADD_FAILURE() << "no error raised";
  } catch (const EServiceConfigError& e) {
    EXPECT_STREQ(e.what(), "Service Start Type unknown");
  }
  EXPECT_THROW(d.SetErrorControl(TServiceErrorControl::seIgnore), EServiceConfigError);
  EXPECT_EQ(ReadConfig(driver).errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));  // nothing written

  if (Reconfigure(kName, SERVICE_NO_CHANGE, 9)) {
    TCnNTService fresh(kName);
    try {
      fresh.ErrorControl();
      ADD_FAILURE() << "no error raised";
    } catch (const EServiceConfigError& e) {
      EXPECT_STREQ(e.what(), "Service Error Control unknown");
    }
  } else {
    ADD_FAILURE() << "the manager refused error control 9: " << ::GetLastError();
  }
}

TEST(CnNTService, WaitsForAServiceThatStartsSlowly) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(L"\"" + PendingService("2000 3000") + L"\"", kDisplay));
  ASSERT_TRUE(s.Start()) << s.LastErrorCode();
  EXPECT_EQ(s.CurrentState(), TServiceCurrentState::ssStartPending);
  int pauses = 0;
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_EQ(s.WaitWhileStartPending([&](DWORD ms) {
    ++pauses;
    EXPECT_LE(ms, 1000u);
    ::Sleep(ms);
  }),
            TServiceCurrentState::ssRunning);
  EXPECT_LT(::GetTickCount64() - before, 6000u);
  EXPECT_GT(pauses, 1);
}

TEST(CnNTService, GivesUpOnAServiceThatMakesNoProgressAfterItsHint) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(L"\"" + PendingService("-1 3000") + L"\"", kDisplay));
  ASSERT_TRUE(s.Start());
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_EQ(s.WaitWhileStartPending([](DWORD ms) { ::Sleep(ms); }), TServiceCurrentState::ssStartPending);
  const ULONGLONG took = ::GetTickCount64() - before;
  EXPECT_GE(took, 2500u);
  EXPECT_LT(took, 8000u);
}

TEST(CnNTService, AServiceThatKeepsShowingProgressIsWaitedForNoLongerThanTheLimit) {
  ServiceCleanup cleanup(kName);
  TCnNTService s(kName);
  ASSERT_TRUE(s.Install(L"\"" + PendingService("-1 3000 progress") + L"\"", kDisplay));
  ASSERT_TRUE(s.Start());
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_EQ(s.WaitWhileStartPending([](DWORD ms) { ::Sleep(ms); }, 6000), TServiceCurrentState::ssStartPending);
  const ULONGLONG took = ::GetTickCount64() - before;
  EXPECT_GE(took, 5500u);  // beyond its 3000 ms hint: it showed progress
  EXPECT_LT(took, 9000u);
}

TEST(CnNTService, StatesMapToTheirWin32Values) {
  const std::pair<DWORD, TServiceCurrentState> cases[] = {
      {SERVICE_STOPPED, TServiceCurrentState::ssStopped},
      {SERVICE_START_PENDING, TServiceCurrentState::ssStartPending},
      {SERVICE_STOP_PENDING, TServiceCurrentState::ssStopPending},
      {SERVICE_RUNNING, TServiceCurrentState::ssRunning},
      {SERVICE_CONTINUE_PENDING, TServiceCurrentState::ssContinuePending},
      {SERVICE_PAUSE_PENDING, TServiceCurrentState::ssPausePending},
      {SERVICE_PAUSED, TServiceCurrentState::ssPause},
      {0, TServiceCurrentState::ssUnknown},
      {8, TServiceCurrentState::ssUnknown},
      {0xFFFFFFFF, TServiceCurrentState::ssUnknown}};
  for (const auto& [win32, state] : cases) EXPECT_EQ(ServiceStateFromWin32(win32), state) << win32;
}
}  // namespace
