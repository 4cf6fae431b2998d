// Shell helpers against real windows of the stand-in Explorer (a second process) and the
// stand-in automation object registered in the test prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../../fixtures/explorer_standin/ExplorerStandIn.h"
#include "../../fixtures/shell_standin/ShellStandIn.h"
#include "TestProcess.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {

// A running stand-in Explorer; ended when the test is done.
class StandIn {
 public:
  explicit StandIn(const std::wstring& args) : process_(ExeDirectory() + L"explorer_standin.exe", args) {}
  DWORD Id() const { return process_.Pid(); }
  HANDLE Process() const { return process_.Handle(); }

  // The stand-in's top-level window with that title, waited for up to 10 s. The stand-in shows
  // a window only once its whole tree is built, so a visible window is a complete one.
  HWND Window(const wchar_t* title) const {
    HWND found = nullptr;
    testing_support::WaitUntil([&] {
      HWND w = ::FindWindowW(kExplorerClass, title);
      if (w && ::IsWindowVisible(w)) found = w;
      return found != nullptr;
    }, 10000);
    return found;
  }

 private:
  testing_support::ChildProcess process_;
};

HWND Descend(HWND w, std::initializer_list<const wchar_t*> classes) {
  for (const wchar_t* c : classes) {
    HWND next = nullptr;
    // The window of the class that has its own visible style (decoys lack it).
    for (HWND k = ::FindWindowExW(w, nullptr, c, nullptr); k; k = ::FindWindowExW(w, k, c, nullptr))
      if (::GetWindowLongW(k, GWL_STYLE) & WS_VISIBLE) next = k;
    w = next;
  }
  return w;
}

TEST(FindWindowByClassPath, ResolvesExplorerChainsPastDecoys) {
  StandIn standIn(L"--decoys \"Docs|file:///C:/\"");
  HWND top = standIn.Window(L"Docs");
  ASSERT_NE(top, nullptr);

  HWND box = nullptr;
  ASSERT_TRUE(FindWindowByClassPath(top, box, SplitClassPath(kSearchBoxPath)));
  EXPECT_EQ(box, Descend(top, {L"WorkerW", L"ReBarWindow32", L"UniversalSearchBand", L"Search Box",
                               L"SearchEditBoxWrapperClass", L"DirectUIHWND"}));
  wchar_t cls[64] = {};
  ::GetClassNameW(box, cls, 64);
  EXPECT_STREQ(cls, L"DirectUIHWND");

  HWND view = nullptr;
  ASSERT_TRUE(FindWindowByClassPath(top, view, SplitClassPath(kFileViewPath)));
  EXPECT_EQ(view, Descend(top, {L"ShellTabWindowClass", L"DUIViewWndClassName", L"DirectUIHWND",
                                L"CtrlNotifySink", L"SHELLDLL_DefView"}));
  // The first-found decoy leads nowhere; a wrong class path finds nothing.
  HWND none = top;
  EXPECT_FALSE(FindWindowByClassPath(top, none, SplitClassPath(L"WorkerW|ReBarWindow32|Nope")));
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(FindWindowByClassPath(top, none, {}));
  EXPECT_EQ(none, nullptr);
  // One class: the first child of that class.
  HWND worker = nullptr;
  EXPECT_TRUE(FindWindowByClassPath(top, worker, {L"WorkerW"}));
  EXPECT_EQ(worker, ::FindWindowExW(top, nullptr, L"WorkerW", nullptr));

  EXPECT_TRUE(IsDescendantWindow(box, top));
  EXPECT_TRUE(IsDescendantWindow(view, top));
  EXPECT_TRUE(IsDescendantWindow(worker, top));
  EXPECT_FALSE(IsDescendantWindow(top, top));
  EXPECT_FALSE(IsDescendantWindow(top, box));
  EXPECT_FALSE(IsDescendantWindow(box, view));
  EXPECT_EQ(SplitClassPath(L"a|b||c"), (std::vector<std::wstring>{L"a", L"b", L"", L"c"}));
}

TEST(GetExplorerPath, ReadsFolderThroughAutomationObject) {
  ASSERT_TRUE(RegisterShellStandIn(ExeDirectory()));
  StandIn standIn(
      L"\"Folder c|file:///C:/a%20b/c\" \"Computer|\" "
      L"\"\x6587\x6863|file:///C:/%E6%96%87%E6%A1%A3/x\"");
  HWND folder = standIn.Window(L"Folder c");
  HWND computer = standIn.Window(L"Computer");
  ASSERT_NE(folder, nullptr);
  ASSERT_NE(computer, nullptr);

  std::wstring name, path;
  EXPECT_TRUE(GetExplorerPath(folder, name, path));
  EXPECT_EQ(name, L"Folder c");
  EXPECT_EQ(path, L"C:\\a b\\c\\");

  HWND docs = standIn.Window(L"\x6587\x6863");
  ASSERT_NE(docs, nullptr);
  EXPECT_TRUE(GetExplorerPath(docs, name, path));
  EXPECT_EQ(path, L"C:\\\x6587\x6863\\x\\");

  EXPECT_TRUE(GetExplorerPath(computer, name, path));
  EXPECT_EQ(name, L"Computer");
  EXPECT_EQ(path, L"");

  // Not an Explorer window: false and both outputs empty.
  name = L"x";
  path = L"y";
  EXPECT_FALSE(GetExplorerPath(::GetDesktopWindow(), name, path));
  EXPECT_EQ(name, L"");
  EXPECT_EQ(path, L"");

  // Navigation: the file view gets a new host and the location changes.
  HWND view = nullptr;
  ASSERT_TRUE(FindWindowByClassPath(folder, view, SplitClassPath(kFileViewPath)));
  const HWND oldHost = ::GetParent(view);
  const std::wstring target = L"Docs|file:///C:/%E6%8A%A5%E5%91%8A%2B1";
  COPYDATASTRUCT data{kCopyNavigate, static_cast<DWORD>(target.size() * sizeof(wchar_t)),
                      const_cast<wchar_t*>(target.data())};
  DWORD_PTR answer = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(folder, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                    SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(answer, TRUE);
  ASSERT_TRUE(FindWindowByClassPath(folder, view, SplitClassPath(kFileViewPath)));
  EXPECT_NE(::GetParent(view), oldHost);
  EXPECT_FALSE(::IsWindow(oldHost));
  EXPECT_TRUE(GetExplorerPath(folder, name, path));
  EXPECT_EQ(name, L"Docs");
  EXPECT_EQ(path, L"C:\\\x62A5\x544A+1\\");
}

TEST(Processes, ParentAndExeNameOfChild) {
  StandIn standIn(L"\"P|\"");
  ASSERT_NE(standIn.Window(L"P"), nullptr);
  EXPECT_EQ(GetParentProcessID(standIn.Id()), ::GetCurrentProcessId());
  EXPECT_EQ(GetProcessExeName(standIn.Id()), L"explorer_standin.exe");
  EXPECT_EQ(GetParentProcessID(0xFFFFFFF0u), 0u);
  EXPECT_EQ(GetProcessExeName(0xFFFFFFF0u), L"");
}

TEST(Volumes, NtfsAnswersForReportedDrives) {
  // Wine reports its drives; C: is the prefix's drive_c. The answer must match what the
  // system says for that root, with or without the trailing backslash.
  wchar_t fs[MAX_PATH + 1] = {};
  const bool cKnown =
      ::GetVolumeInformationW(L"C:\\", nullptr, 0, nullptr, nullptr, nullptr, fs, MAX_PATH + 1);
  ASSERT_TRUE(cKnown);
  const bool cIsNtfs = lstrcmpiW(fs, L"NTFS") == 0;
  EXPECT_EQ(IsNTFSVolume(L"C:"), cIsNtfs);
  EXPECT_EQ(IsNTFSVolume(L"C:\\"), cIsNtfs);
  EXPECT_EQ(IsNTFSVolume(L""), IsNTFSVolume(L"C:"));  // the current drive is C: here
  // A drive letter with no drive behind it: false, with no error box (the test would hang).
  DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
    if (drives & (1u << (letter - L'A'))) continue;
    EXPECT_FALSE(IsNTFSVolume(std::wstring(1, letter) + L":"));
    break;
  }
}

TEST(SystemFacts, OsAndSizes) {
  // Each edition's suite runs in a prefix of its own architecture.
  EXPECT_EQ(Is64Bit(), sizeof(void*) == 8);
  // Version checks agree with what the system reports.
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExW(&v);
#pragma GCC diagnostic pop
  const bool eightOrLater =
      v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 2);
  EXPECT_EQ(IsReallyWindows8OrGreater(), eightOrLater);

  const std::wstring exe = ExeDirectory() + L"explorer_standin.exe";
  WIN32_FILE_ATTRIBUTE_DATA attr{};
  ASSERT_TRUE(::GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &attr));
  EXPECT_EQ(GetFileSize64(exe), static_cast<std::int64_t>(attr.nFileSizeLow));
  EXPECT_EQ(GetFileSize64(ExeDirectory() + L"no such file.bin"), 0);
  EXPECT_GE(GetFileIconIndex(exe, SHGFI_SYSICONINDEX), 0);
  EXPECT_NE(GetSystemImageList(0), nullptr);

  wchar_t sep[8] = {};
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
  EXPECT_EQ(FormatFileSize(1536), std::wstring(L"1") + sep + L"5 KB");
  EXPECT_EQ(FormatFileSize(-5), L"-5 bytes");
}

TEST(SpecialFolders, RecycleBinNameInOtherCase) {
  const std::wstring bin = GetSpecialFolderDisplayName(10);  // CSIDL_BITBUCKET
  if (bin.empty()) GTEST_SKIP() << "this shell gives the Recycle Bin no display name";
  std::wstring other = bin;
  for (wchar_t& c : other)
    c = (c >= L'a' && c <= L'z') ? c - 32 : (c >= L'A' && c <= L'Z') ? c + 32 : c;
  EXPECT_TRUE(IsSpecialFolderName(other));
  EXPECT_TRUE(IsSpecialFolderName(bin));
  EXPECT_FALSE(IsSpecialFolderName(L"Documents and stuff"));
  // Some of the folders have no display name on this system or that; a location whose name is
  // not known yet is none of them.
  EXPECT_FALSE(IsSpecialFolderName(L""));
}

TEST(ForceForegroundWindow, BringsStandInForward) {
  StandIn standIn(L"\"F1|\" \"F2|\"");
  HWND f1 = standIn.Window(L"F1");
  HWND f2 = standIn.Window(L"F2");
  ASSERT_NE(f1, nullptr);
  ASSERT_NE(f2, nullptr);
  ::ShowWindow(f1, SW_MINIMIZE);
  EXPECT_TRUE(ForceForegroundWindow(f1, true));
  EXPECT_FALSE(::IsIconic(f1));
  EXPECT_EQ(::GetForegroundWindow(), f1);
  EXPECT_TRUE(ForceForegroundWindow(f2, false));
  EXPECT_EQ(::GetForegroundWindow(), f2);
  // The search box takes the focus on request, in its own thread.
  DWORD_PTR focused = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(f2, kMsgFocusSearch, 0, 0, SMTO_ABORTIFHUNG, 5000, &focused));
  EXPECT_EQ(focused, 1u);
}

}  // namespace
