// An update announced by the real search service reaches the user as a prompt; Yes runs the
// announced program, No does nothing, and each announcement asks again.
#include <gtest/gtest.h>

#include "TempTree.h"
#include "TestProcess.h"

using namespace testing_support;

namespace {

// The prompt box of the program, or nullptr.
HWND WaitForPrompt(DWORD pid) {
  HWND box = WaitForProcessWindow(pid, L"#32770", 15000, true);
  if (box) {
    EXPECT_TRUE(Contains(DialogStaticTexts(box), L"发现新版本 2.0，是否升级？"));
  }
  return box;
}

long CloseProgram(ChildProcess& program) {
  if (HWND form = FindProcessWindow(program.Pid(), L"TfrmRuvoSearch")) ::PostMessageW(form, WM_CLOSE, 10, 10);
  return program.Wait(15000);
}

TEST(UpdatePrompt, AnnouncedByTheServiceAskedAndRunOnYes) {
  const TempTree temp(L"ruvo-update");
  const std::wstring dir = temp.Root() + L"\\";
  const std::wstring update = dir + L"RuvoUpdate.exe";  // leaves RuvoUpdate.exe.ran when run
  const std::wstring ran = update + L".ran";
  ASSERT_TRUE(::CopyFileW((ExeDirectory() + L"marker.exe").c_str(), update.c_str(), FALSE));
  ::DeleteFileW(ran.c_str());
  auto hasRun = [&] { return ::GetFileAttributesW(ran.c_str()) != INVALID_FILE_ATTRIBUTES; };
  ChildProcess service(ExeDirectory() + L"RuvoService.exe",
                       L"/console /root \"" + dir + L".\" /update \"" + update + L"\" 2.0");
  ASSERT_TRUE(service.Valid());
  PumpFor(1500);  // the service is listening

  // The start-up report makes the service announce the update: the user says No.
  ChildProcess first(ExeDirectory() + L"RuvoSearch.exe");
  HWND box = WaitForPrompt(first.Pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), L"Ruvoso");
  EXPECT_EQ(::GetWindow(box, GW_OWNER), FindProcessWindow(first.Pid(), L"TfrmRuvoSearch"));
  ::PostMessageW(box, WM_COMMAND, IDNO, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, 5000));
  PumpFor(500);
  EXPECT_FALSE(hasRun());
  EXPECT_EQ(CloseProgram(first), 0);

  // Announced again at the next start: this time Yes opens the file.
  ChildProcess second(ExeDirectory() + L"RuvoSearch.exe");
  box = WaitForPrompt(second.Pid());
  ASSERT_NE(box, nullptr);
  ::PostMessageW(box, WM_COMMAND, IDYES, 0);
  EXPECT_TRUE(WaitUntil(hasRun, 15000));
  EXPECT_EQ(CloseProgram(second), 0);
  service.Kill();
}

}  // namespace
