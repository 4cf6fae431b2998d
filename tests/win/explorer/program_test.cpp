// The whole road of a query with every process real: the stand-in Explorer, the stand-in
// automation object, RuvoSearch.exe with its hook library, and the search service in console
// mode on a generated tree. A click shows the edit, typing searches, the answer fills the list
// over the file view, a right click on a row brings the shell's menu, Escape hands the box back;
// the program then ends cleanly while a large answer is arriving.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <fstream>

#include "../../fixtures/shell_standin/ShellStandIn.h"
#include "ExplorerTestSupport.h"
#include "TestProcess.h"
#include "core/TextUtils.h"

using namespace explorer_test;
using namespace testing_support;

namespace {

constexpr int kBulkFiles = 3000;

std::wstring TreeDir() {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + L"ruvo-e2e\\";
}

void MakeTree(const std::wstring& dir) {
  ::CreateDirectoryW(dir.c_str(), nullptr);
  ::CreateDirectoryW((dir + L"plans").c_str(), nullptr);
  for (const wchar_t* name : {L"plans\\budget plan.txt", L"plan old.doc", L"readme.txt"})
    std::ofstream((dir + name).c_str()) << "x";
  for (int i = 0; i < kBulkFiles; ++i) std::ofstream((dir + L"bulk_" + std::to_wstring(i) + L".dat").c_str()) << i;
}

// The program as this family runs it: its own copy, with the family recorded for its name.
std::wstring ProgramForFamily() {
  const std::wstring name = RunsAsWindows10() ? L"RuvoSearch_win10.exe" : L"RuvoSearch_win7.exe";
  const std::wstring path = ExeDirectory() + name;
  ::CopyFileW((ExeDirectory() + L"RuvoSearch.exe").c_str(), path.c_str(), FALSE);
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
  const std::wstring version = RunsAsWindows10() ? L"win10" : L"win7";
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                    static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  return path;
}

std::wstring FileUrl(const std::wstring& dir) {
  std::wstring url = L"file:///" + dir;
  for (wchar_t& c : url)
    if (c == L'\\') c = L'/';
  return url;
}

// The first window of the program's process among the children of parent.
HWND ProgramChild(HWND parent, DWORD pid) {
  for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(c, &owner);
    if (owner == pid) return c;
  }
  return nullptr;
}

TEST(ProgramRoad, ClickTypeAndTheServiceAnswerFillsTheListThenTheProgramEndsCleanlyUnderLoad) {
  ASSERT_TRUE(RegisterShellStandIn(ExeDirectory()));
  const std::wstring dir = TreeDir();
  MakeTree(dir);
  ChildProcess service(ExeDirectory() + L"RuvoService.exe", L"/console /root \"" + dir + L".\"");
  ASSERT_TRUE(service.Valid());
  ASSERT_TRUE(WaitUntil([] { return ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 1) != FALSE; }, 15000));

  StandIn standIn(L"\"e2e|" + FileUrl(dir) + L"\"");
  HWND top = standIn.Window(L"e2e");
  ASSERT_NE(top, nullptr);
  HWND box = SearchBoxOf(top);
  ChildProcess program(ProgramForFamily());
  ASSERT_TRUE(program.Valid());
  HWND form = WaitForProcessWindow(program.Pid(), L"TfrmRuvoSearch", 15000);
  ASSERT_NE(form, nullptr);

  // The window was open before the program: registered at start-up, its overlays made by a
  // scan. A click into the box brings our edit.
  HWND edit = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        ClickCentre(box);
        return WaitUntil(
            [&] { return (edit = ProgramChild(box, program.Pid())) != nullptr && ::IsWindowVisible(edit); }, 1500);
      },
      10000));

  // Typing goes to the edit in the active window; when Wine left none active, the user's
  // click into the edit makes it so.
  if (!WaitUntil([&] { return ::GetForegroundWindow() == top; }, 500)) ClickCentre(edit);
  WaitUntil([&] { return ::GetForegroundWindow() == top; }, 2000);
  // The program moves the focus into its edit just after showing it.
  auto editHasFocus = [&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(top, nullptr), &info) &&
           (info.hwndFocus == edit || ::IsChild(edit, info.hwndFocus));
  };
  if (!WaitUntil(editHasFocus, 2000)) ClickCentre(edit);
  ASSERT_TRUE(WaitUntil(editHasFocus, 2000));
  TypeText(L"plan");
  HWND host = FileViewHostOf(top);
  HWND panel = nullptr, list = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        panel = ProgramChild(host, program.Pid());
        list = panel ? ::FindWindowExW(panel, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
        return list && ::IsWindowVisible(panel) && ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3;
      },
      5000))
      << "rows " << (list ? ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : -1) << " text \""
      << Utf16ToUtf8(U(WindowText(::GetWindow(edit, GW_CHILD)))) << "\" foreground class "
      << Utf16ToUtf8(U([] {
           wchar_t c[64] = L"";
           ::GetClassNameW(::GetForegroundWindow(), c, 64);
           return std::wstring(c);
         }()));
  RECT listRect{}, hostRect{};
  ::GetWindowRect(panel, &listRect);
  ::GetWindowRect(host, &hostRect);
  EXPECT_TRUE(::EqualRect(&listRect, &hostRect)) << "the list covers the file view";
  SaveWindowShot(top, L"program-result-list");

  // The shell's own context menu on a row, shown by the program; Escape closes it.
  RightClickAt(list, 80, 20);
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        menu = ::FindWindowW(L"#32768", nullptr);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(menu, &owner);
        return menu && ::IsWindowVisible(menu) && owner == program.Pid();
      },
      5000))
      << "a context menu of the program";
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu); }, 3000));

  // Escape in the edit hands the box back: the edit and the list go. The click that brings the
  // focus back into the edit after the menu is repeated when Wine drops it.
  ASSERT_TRUE(WaitUntil(
      [&] {
        ClickCentre(edit);
        return WaitUntil(editHasFocus, 1000);
      },
      6000));
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(edit) && !::IsWindowVisible(panel); }, 3000))
      << "edit " << ::IsWindowVisible(edit) << " list " << ::IsWindowVisible(panel);

  // Once the focus has been elsewhere, a click into the box starts over.
  ClickCentre(host);
  ASSERT_TRUE(WaitUntil(
      [&] {
        ClickCentre(box);
        return WaitUntil([&] { return ::IsWindowVisible(edit) != FALSE; }, 1500);
      },
      10000));
  if (!WaitUntil(editHasFocus, 2000)) ClickCentre(edit);
  ASSERT_TRUE(WaitUntil(editHasFocus, 2000));
  TypeText(L"plan");
  ASSERT_TRUE(WaitUntil(
      [&] { return ::IsWindowVisible(panel) && ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3; }, 5000));

  // A query with thousands of matches; the program is told to end while they arrive.
  for (int i = 0; i < 4; ++i) PressKey(VK_BACK);
  TypeText(L"bulk");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0; }, 5000));
  const DWORD closing = ::GetTickCount();
  ::PostMessageW(form, WM_CLOSE, 10, 10);
  EXPECT_EQ(program.Wait(5000), 0) << "ends within 5 s";
  EXPECT_LT(::GetTickCount() - closing, 5000u);
  EXPECT_FALSE(program.Running());
  EXPECT_FALSE(::WaitNamedPipeW(L"\\\\.\\pipe\\SearchResultPipe", 1)) << "no pipe left behind";
  EXPECT_FALSE(::IsWindow(edit));
  EXPECT_FALSE(::IsWindow(panel));
}

}  // namespace
