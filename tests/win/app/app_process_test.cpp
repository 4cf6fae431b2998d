// RuvoSearch.exe as a real process: single instance, the close and info-tip messages, and the
// start-up channel report to the search service.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "PipeFlood.h"
#include "RequestRecorder.h"
#include "TempTree.h"
#include "TestProcess.h"
#include "core/SearchMessages.h"

using namespace testing_support;

namespace {
constexpr wchar_t kMutexName[] = L"RuvoSearch.{1759DA90-5641-4B2F-87EE-EA112C3374C0}";
constexpr wchar_t kMainClass[] = L"TfrmRuvoSearch";

std::wstring ProgramPath() { return ExeDirectory() + L"RuvoSearch.exe"; }

bool MutexExists() {
  UniqueKernelHandle m(::OpenMutexW(SYNCHRONIZE, FALSE, kMutexName));
  return static_cast<bool>(m);
}

// Starts the program and waits for its main form; ends it with WM_CLOSE 10/10 at scope end.
// A stand-in serves the service's request pipe from before the start unless told otherwise:
// a program that finds no service installs and starts the real one.
class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& exe = ProgramPath(), bool withService = true)
      : service_(withService ? std::make_unique<RequestRecorder>() : nullptr), process_(exe) {
    if (process_.Valid()) form_ = WaitForProcessWindow(process_.Pid(), kMainClass, 15000);
  }
  ~RunningProgram() { Close(); }
  long Close() {
    if (!process_.Running()) return process_.Wait(0);
    if (form_) ::PostMessageW(form_, WM_CLOSE, 10, 10);
    const long code = process_.Wait(15000);
    process_.Kill();
    return code;
  }
  HWND Form() const { return form_; }
  ChildProcess& Process() { return process_; }

 private:
  std::unique_ptr<RequestRecorder> service_;
  ChildProcess process_;
  HWND form_ = nullptr;
};

// Finds the message box a process shows, reads its text and dismisses it.
std::vector<std::wstring> TakeMessageBox(ChildProcess& p) {
  HWND box = WaitForProcessWindow(p.Pid(), L"#32770", 15000, true);
  if (!box) return {};
  EXPECT_EQ(WindowText(box), L"Ruvoso");
  auto texts = DialogStaticTexts(box);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  return texts;
}

TEST(Program, SecondStartIsRefusedAndTheFirstKeepsRunning) {
  RunningProgram first;
  ASSERT_NE(first.Form(), nullptr);
  ASSERT_TRUE(MutexExists());
  ChildProcess second(ProgramPath());
  ASSERT_TRUE(second.Valid());
  EXPECT_TRUE(Contains(TakeMessageBox(second), L"程序已经正在运行。"));
  EXPECT_EQ(second.Wait(10000), 0);
  EXPECT_TRUE(first.Process().Running());
  EXPECT_TRUE(::IsWindow(first.Form()));
  EXPECT_FALSE(::IsWindowVisible(first.Form()));  // no debugger: the main form stays hidden
}

TEST(Program, OnlyCloseTenTenEndsItAndReleasesTheMutex) {
  {
    RunningProgram p;
    ASSERT_NE(p.Form(), nullptr);
    for (auto [wp, lp] : {std::pair{0, 0}, {10, 0}, {0, 10}, {10, 12}}) {
      ::PostMessageW(p.Form(), WM_CLOSE, wp, lp);
      ::PostMessageW(p.Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    EXPECT_EQ(p.Process().Wait(1000), -1) << "an ordinary close request ended the program";
    EXPECT_EQ(p.Close(), 0);
  }
  EXPECT_FALSE(MutexExists());
  RunningProgram again;  // a new start works
  EXPECT_NE(again.Form(), nullptr);
}

TEST(Program, SystemCloseLeavesTheHiddenFormAloneAndTheFocusWhereItIs) {
  RunningProgram p;
  ASSERT_NE(p.Form(), nullptr);
  UniqueWindow mine(::CreateWindowExW(0, L"STATIC", L"user's window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                      100, nullptr, nullptr, nullptr, nullptr));
  ::SetForegroundWindow(mine.get());
  ASSERT_EQ(::GetForegroundWindow(), mine.get());
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(p.Form(), WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, 5000, &ignored));
  EXPECT_EQ(::GetForegroundWindow(), mine.get());
  EXPECT_FALSE(::IsWindowVisible(p.Form()));
  EXPECT_FALSE(::IsIconic(p.Form())) << "the hidden form was minimised, so shown for a moment";
  EXPECT_EQ(p.Close(), 0);
}

TEST(Program, CloseTenElevenShowsTheInfoTipCentredAndAClickHidesIt) {
  RunningProgram p;
  ASSERT_NE(p.Form(), nullptr);
  ::PostMessageW(p.Form(), WM_CLOSE, 10, 11);
  HWND tip = WaitForProcessWindow(p.Process().Pid(), L"TfrmInfoTip", 10000, true);
  ASSERT_NE(tip, nullptr);
  RECT r;
  ::GetWindowRect(tip, &r);
  EXPECT_EQ(r.right - r.left, 810);
  EXPECT_EQ(r.bottom - r.top, 480);
  EXPECT_EQ(r.left, (::GetSystemMetrics(SM_CXSCREEN) - 810) / 2);
  EXPECT_EQ(r.top, (::GetSystemMetrics(SM_CYSCREEN) - 480) / 2);
  EXPECT_TRUE(::GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOPMOST);

  // The picture is drawn: the screen under the window is not one flat colour.
  PumpFor(300);
  {
    WindowDc screen(nullptr);
    const COLORREF a = ::GetPixel(screen.get(), r.left + 5, r.top + 5);
    const COLORREF b = ::GetPixel(screen.get(), r.left + 655, r.top + 40);  // the arrow
    EXPECT_NE(a, b);
  }

  // A real click on the picture.
  ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(2, in, sizeof(INPUT));
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(tip); }, 5000));

  ::PostMessageW(p.Form(), WM_CLOSE, 10, 11);  // the next request shows the same window again
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(tip); }, 5000));
  EXPECT_EQ(p.Close(), 0);
}

// A copy of the launcher in the folder, named as an installer, so the program's parent has
// that name.
std::wstring LauncherNamed(const TempTree& folder, const std::wstring& name) {
  const std::wstring path = folder.Path(name);
  ::CopyFileW((ExeDirectory() + L"launcher.exe").c_str(), path.c_str(), FALSE);
  return path;
}

TEST(Program, ChannelFromTheParentsNameReachesTheServiceOnce) {
  RequestRecorder service;
  const TempTree temp(L"ruvo-setup");
  ChildProcess setup(LauncherNamed(temp, L"Setup_1024.exe"), L"\"" + ProgramPath() + L"\"");
  ASSERT_TRUE(setup.Valid());
  ASSERT_TRUE(WaitUntil([&] { return !service.Messages(kActionChannelReport).empty(); }, 15000));
  PumpFor(1500);
  const auto r = service.Messages(kActionChannelReport);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].SearchBox, 1024u);
  HWND main = ::FindWindowW(kMainClass, L"Ruvoso");
  ASSERT_NE(main, nullptr);
  ::PostMessageW(main, WM_CLOSE, 10, 10);
  EXPECT_EQ(setup.Wait(15000), 0);  // the launcher hands on the program's exit code
}

TEST(Program, WithoutAServiceTheChannelReportIsNotRetried) {
  // A program folder without the service's program: nothing can be installed, the user is told.
  const TempTree folder(L"ruvo-noservice");
  for (const wchar_t* file : {L"RuvoSearch.exe", L"RuvoSearch.dll"})
    ASSERT_TRUE(::CopyFileW((ExeDirectory() + file).c_str(), folder.Path(file).c_str(), FALSE));
  RunningProgram p(folder.Path(L"RuvoSearch.exe"), false);
  ASSERT_NE(p.Form(), nullptr);
  EXPECT_TRUE(Contains(TakeMessageBox(p.Process()), L"找不到搜索后台程序文件，请重新安装该应用程序"));
  PumpFor(500);
  RequestRecorder late;
  PumpFor(1500);
  EXPECT_TRUE(late.Messages(kActionChannelReport).empty());
  EXPECT_EQ(p.Close(), 0);
}

TEST(Program, ResultPipeHoldsUnderAFloodOfConnections) {
  RunningProgram p;
  ASSERT_NE(p.Form(), nullptr);
  const std::wstring path = LocalPipePath(kSearchResultPipe);
  // The hook thread starts the result server after the form exists.
  ASSERT_TRUE(WaitUntil([&] { return ::WaitNamedPipeW(path.c_str(), 100) != FALSE; }, kFloodWaitMs));
  ExpectCapAndIdleTimeOut(path);
  ExpectDataCap(path, kMaxResultDataSize);
  EXPECT_TRUE(p.Process().Running());
  // The service's messages still arrive and are answered.
  TIPCClient client;
  client.SetServerName(kSearchResultPipe);
  EXPECT_TRUE(client.ExecuteRequest(BuildAnswerEnd(1), kFloodWaitMs));
  EXPECT_TRUE(client.AnswerValid());
}

}  // namespace
