// An update announced by the real search service reaches the user as a prompt; Yes opens the
// announced file with the shell, No does nothing, and each announcement asks again.
#include <gtest/gtest.h>

#include <fstream>

#include "TestProcess.h"

using namespace testing_support;

namespace {

std::wstring TempDir(const std::wstring& name) {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  const std::wstring dir = std::wstring(tmp) + name + L"\\";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

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

TEST(UpdatePrompt, AnnouncedByTheServiceAskedAndOpenedOnYes) {
  const std::wstring dir = TempDir(L"ruvo-update");
  const std::wstring notes = dir + L"release-notes.txt";
  std::ofstream(notes.c_str()) << "2.0";
  ChildProcess service(ExeDirectory() + L"RuvoService.exe",
                       L"/console /root \"" + dir + L".\" /update \"" + notes + L"\" 2.0");
  ASSERT_TRUE(service.Valid());
  WaitUntil([] { return false; }, 1500);  // the service is listening

  // The start-up report makes the service announce the update: the user says No.
  ChildProcess first(ExeDirectory() + L"RuvoSearch.exe");
  HWND box = WaitForPrompt(first.Pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), L"Ruvoso");
  EXPECT_EQ(::GetWindow(box, GW_OWNER), FindProcessWindow(first.Pid(), L"TfrmRuvoSearch"));
  ::PostMessageW(box, WM_COMMAND, IDNO, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, 5000));
  EXPECT_EQ(::FindWindowW(L"Notepad", nullptr), nullptr);
  EXPECT_EQ(CloseProgram(first), 0);

  // Announced again at the next start: this time Yes opens the file.
  ChildProcess second(ExeDirectory() + L"RuvoSearch.exe");
  box = WaitForPrompt(second.Pid());
  ASSERT_NE(box, nullptr);
  ::PostMessageW(box, WM_COMMAND, IDYES, 0);
  HWND opened = nullptr;
  EXPECT_TRUE(WaitUntil([&] { return (opened = ::FindWindowW(L"Notepad", nullptr)) != nullptr; }, 15000));
  if (opened) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(opened, &pid);
    UniqueKernelHandle p(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (p) {
      ::TerminateProcess(p.get(), 0);
      ::WaitForSingleObject(p.get(), 5000);
    }
  }
  EXPECT_EQ(CloseProgram(second), 0);
  service.Kill();
  ::DeleteFileW(notes.c_str());
}

}  // namespace
