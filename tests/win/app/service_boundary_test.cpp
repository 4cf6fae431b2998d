// The handler's branch for a user without administrator rights, in this process with the
// administrator answer supplied at the boundary (Wine's user is always an administrator, and
// Wine elevates only a token linked to a full one). The rest is real: the message boxes, the
// "runas" second instance of a copy of the program, the service control manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "ScmTestSupport.h"
#include "TestProcess.h"
#include "app/Elevation.h"
#include "app/ServiceSupervision.h"
#include "core/ElevatedArguments.h"
#include "core/TextUtils.h"
#include "win/common/Errors.h"

using namespace testing_support;
using namespace scm_testing;

namespace {
constexpr wchar_t kService[] = L"RuvoSearchService";

std::wstring ProgramFolder(const std::wstring& name, const char* plan) {
  const std::wstring dir = TempFolder(L"ruvo-boundary-" + name);
  ::CopyFileW((ExeDirectory() + L"RuvoSearch.exe").c_str(), (dir + L"RuvoSearch.exe").c_str(), FALSE);
  ::CopyFileW((ExeDirectory() + L"pending_service.exe").c_str(), (dir + L"RuvoService.exe").c_str(), FALSE);
  WritePendingPlan(dir + L"RuvoService.exe", plan);
  return dir;
}

class StandardUserSupervision : public TServiceSupervision {
 public:
  StandardUserSupervision(HWND owner, std::wstring dir)
      : TServiceSupervision(owner, [this] { ++closes; }, [this] { Pump(); }), dir_(std::move(dir)) {}
  int closes = 0;
  int pumps = 0;
  int elevatedRuns = 0;

 protected:
  bool IsAdministrator() override { return false; }
  std::wstring ServiceProgram() override { return dir_ + L"RuvoService.exe"; }
  DWORD RunElevated(const std::wstring& parameters) override {
    ++elevatedRuns;
    return RunElevatedProcess(dir_ + L"RuvoSearch.exe", parameters, FOwner, FPump);
  }

 private:
  void Pump() {
    ++pumps;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  std::wstring dir_;
};

// Answers the boxes this process shows, in order, from another thread; records their texts.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<int> answers) : answers_(std::move(answers)) {
    thread_ = std::thread([this] {
      for (int answer : answers_) {
        HWND box = WaitForProcessWindow(::GetCurrentProcessId(), L"#32770", 40000, true);
        if (!box) return;
        titles.push_back(WindowText(box));
        owners.push_back(::GetWindow(box, GW_OWNER));
        const auto t = DialogStaticTexts(box);
        texts.push_back(t.empty() ? L"" : t.back());
        ::PostMessageW(box, WM_COMMAND, answer, 0);
        WaitUntil([&] { return !::IsWindow(box); }, 5000);
      }
    });
  }
  ~BoxAnswerer() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::wstring> titles, texts;
  std::vector<HWND> owners;

 private:
  std::vector<int> answers_;
  std::thread thread_;
};

class Boundary : public ::testing::Test {
 protected:
  void SetUp() override {
    OnElevateProc = ElevatedTaskHandler;
    form_.reset(::CreateWindowExW(0, L"STATIC", L"Ruvoso", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr));
    ASSERT_TRUE(form_);
  }
  ServiceCleanup cleanup_{kService};
  UniqueWindow form_;
};

TEST_F(Boundary, YesRunsTheElevatedInstanceWhichInstallsAndStartsTheService) {
  const std::wstring dir = ProgramFolder(L"yes", "1500 3000");
  StandardUserSupervision s(form_.get(), dir);
  BoxAnswerer answerer({IDYES});
  bool successed = false;
  int retries = 0;
  s.HookThreadServiceNotRun(successed, [&] { ++retries; });
  answerer.Join();
  EXPECT_TRUE(successed);
  ASSERT_EQ(answerer.texts.size(), 1u);
  EXPECT_EQ(answerer.texts[0], L"搜索后台程序服务没有运行，是否启动搜索后台程序服务？");
  EXPECT_EQ(answerer.titles[0], L"Ruvoso");
  EXPECT_EQ(answerer.owners[0], form_.get());
  EXPECT_EQ(s.elevatedRuns, 1);
  EXPECT_EQ(s.closes, 0);
  EXPECT_EQ(retries, 0);
  const Config c = ReadConfig(kService);
  EXPECT_EQ(c.binaryPath, L"\"" + dir + L"RuvoService.exe\"");
  EXPECT_EQ(c.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(c.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  // The instance took its 1.5 s start: this thread waited asleep, woken by its messages only.
  EXPECT_GE(s.pumps, 1);
  EXPECT_LT(s.pumps, 500);
}

TEST_F(Boundary, AnInstanceThatCannotBringTheServiceToRunIsAFailureAndTheFormCloses) {
  const std::wstring dir = ProgramFolder(L"fail", "-1 500");
  StandardUserSupervision s(form_.get(), dir);
  BoxAnswerer answerer({IDYES, IDOK});
  bool successed = true;
  s.HookThreadServiceNotRun(successed, [] {});
  answerer.Join();
  EXPECT_FALSE(successed);
  ASSERT_EQ(answerer.texts.size(), 2u);
  EXPECT_EQ(answerer.texts[1], L"无法启动搜索后台服务程序，请重新安装本程序。");
  EXPECT_EQ(answerer.owners[1], form_.get());
  EXPECT_EQ(s.closes, 1);
}

TEST_F(Boundary, NoIsToldAndClosesTheFormWithoutStartingAnything) {
  const std::wstring dir = ProgramFolder(L"no", "0 0");
  StandardUserSupervision s(form_.get(), dir);
  BoxAnswerer answerer({IDNO, IDOK});
  bool successed = true;
  s.HookThreadServiceNotRun(successed, [] {});
  answerer.Join();
  EXPECT_FALSE(successed);
  ASSERT_EQ(answerer.texts.size(), 2u);
  EXPECT_EQ(answerer.texts[1], L"搜索后台程序服务没有运行，程序即将退出。");
  EXPECT_EQ(s.elevatedRuns, 0);
  EXPECT_EQ(s.closes, 1);
  EXPECT_FALSE(ReadConfig(kService).read);
}

TEST(Elevation, InvocationCodes) {
  const std::u16string m = u"/" + std::u16string(kElevationMarker);
  auto yes = [] { return true; };
  auto no = [] { return false; };
  struct Case {
    const char* what;
    std::vector<std::u16string> args;
    std::function<bool()> elevated;
    TElevateProc task;
    std::optional<DWORD> code;
  };
  const Case cases[] = {
      {"no marker", {u"/SvcInstall"}, yes, [](const std::wstring&) -> DWORD { return 0; }, std::nullopt},
      {"not elevated", {m, u"/SvcInstall"}, no, [](const std::wstring&) -> DWORD { return 0; }, 5},
      {"no task set", {m, u"/SvcInstall"}, yes, nullptr, 127},
      {"task result", {m, u"/SvcInstall"}, yes, [](const std::wstring& p) -> DWORD { return p == L"/SvcInstall" ? 0 : 9; }, 0},
      {"259", {m}, yes, [](const std::wstring&) -> DWORD { return 259; }, 31},
      {"abort", {m}, yes, [](const std::wstring&) -> DWORD { throw EAbort(); }, 1223},
      {"COM error", {m}, yes, [](const std::wstring&) -> DWORD { throw EOleSysError(E_NOINTERFACE); },
       static_cast<DWORD>(E_NOINTERFACE)},
      {"other error", {m}, yes, [](const std::wstring&) -> DWORD { throw EOSError(ERROR_FILE_NOT_FOUND); }, 31},
      {"anything thrown", {m}, yes, [](const std::wstring&) -> DWORD { throw 42; }, 31},
  };
  for (const auto& c : cases) EXPECT_EQ(ElevatedInvocationCode(c.args, c.elevated, c.task), c.code) << c.what;
}

TEST(Elevation, TasksOtherThanTheInstallAreRefused) {
  for (const wchar_t* task : {L"/svcinstall", L"", L"/SvcInstall ", L"\"/SvcInstall\"", L"/SvcInstall x"})
    EXPECT_EQ(ElevatedTaskHandler(task), 31u) << Utf16ToUtf8(U(task));
}

TEST(Elevation, RunElevatedNeedsTheTaskRunner) {
  OnElevateProc = nullptr;
  try {
    RunElevated(L"/SvcInstall", nullptr, [] {});
    ADD_FAILURE() << "no error";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "OnElevateProc must be assigned before calling RunElevated");
  }
}

TEST(Elevation, AnElevatedProcessRunsTheTaskInItself) {
  // Wine's processes run elevated: the task runs here, without a second instance.
  ASSERT_TRUE(IsElevated());
  EXPECT_TRUE(IsAdministrator());
  std::wstring seen;
  OnElevateProc = [&](const std::wstring& p) -> DWORD {
    seen = p;
    return 77;
  };
  EXPECT_EQ(RunElevated(L"/SvcInstall", nullptr, [] {}), 77u);
  EXPECT_EQ(seen, L"/SvcInstall");
  OnElevateProc = nullptr;
}

}  // namespace
