// Finding Explorer windows: registration at start-up through the automation object and on
// creation through the hook, the scan that completes a record with its overlays, the skip
// rules and the re-check after navigation.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "../../fixtures/shell_standin/ShellStandIn.h"
#include "ExplorerTestSupport.h"
#include "HookThreadProbe.h"
#include "RequestRecorder.h"
#include "win/shell/ShellUtils.h"

using namespace explorer_test;
using testing_support::RequestRecorder;
using testing_support::WaitUntil;

namespace {

class ExplorerDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    MainThread::Init();
    ASSERT_TRUE(RegisterShellStandIn(ExeDirectory()));
  }
  RequestRecorder service_;  // a reachable service keeps the loop going
};

TEST_F(ExplorerDiscovery, StartUpRegistersEveryExplorerWindowButNoBrowser) {
  StandIn standIn(L"--browser Web \"Docs|file:///C:/windows/\" \"Fonts|file:///C:/windows/Fonts/\"");
  HWND docs = standIn.Window(L"Docs"), fonts = standIn.Window(L"Fonts"), web = standIn.Window(L"Web", kBrowserClass);
  ASSERT_TRUE(docs && fonts && web);
  THookThreadProbe t;
  t.Start();
  EXPECT_TRUE(WaitUntil([&] { return t.Inited(docs) && t.Inited(fonts); }, 5000));
  EXPECT_EQ(t.WindowList().Count(), 2);
  EXPECT_EQ(t.Record(web), nullptr);

  TWindowRec* rec = t.Record(docs);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->SearchType, TSearchType::stExplorer);
  EXPECT_EQ(WindowFromValue(rec->SearchBox), SearchBoxOf(docs));
  EXPECT_EQ(WindowFromValue(rec->FileHandle), FileViewHostOf(docs));
  EXPECT_EQ(rec->ExplorerPath, u"C:\\windows\\");
  EXPECT_FALSE(rec->SkipCheckWindow);
  // The overlays wait hidden; the close button sits inside the edit's text control.
  ASSERT_TRUE(rec->Edit && rec->Button && rec->Timer);
  EXPECT_FALSE(rec->Edit->Visible());
  EXPECT_EQ(::GetParent(rec->Button->Handle()), rec->Edit->Edit().Handle());
  EXPECT_EQ(rec->Button->Width(), 18);
  EXPECT_FALSE(rec->Timer->Enabled());
  EXPECT_EQ(rec->Timer->Interval(), 500u);
  EXPECT_GT(rec->Edit->TextHeight, 0);

  // Reported once more (as a creation event may do): still one record each.
  t.AddExplorerWindows();
  EXPECT_EQ(t.WindowList().Count(), 2);
  EXPECT_EQ(t.Record(docs), rec);
  t.StopAndWait();
}

TEST_F(ExplorerDiscovery, ANewWindowIsRegisteredOnCreationAndGetsItsOverlaysWithinAScan) {
  THookThreadProbe t;
  ASSERT_EQ(t.CBTHook().Start(), L"");
  t.Start();
  WaitUntil([] { return false; }, 300);
  ASSERT_EQ(t.WindowList().Count(), 0);

  StandIn standIn(L"\"New|file:///C:/windows/\"");
  HWND top = nullptr;
  // The stand-in shows its window once its inner windows exist.
  ASSERT_TRUE(WaitUntil([&] { return (top = ::FindWindowW(kExplorerClass, L"New")) && ::IsWindowVisible(top); },
                        10000));
  const DWORD built = ::GetTickCount();
  ASSERT_TRUE(WaitUntil([&] { return t.Inited(top); }, 3000));
  const DWORD took = ::GetTickCount() - built;
  EXPECT_LE(took, 450u) << "overlays within about one 200 ms scan";
  t.AddExplorerWindows();
  EXPECT_EQ(t.WindowList().Count(), 1);
  t.StopAndWait();
}

TEST_F(ExplorerDiscovery, SpecialFoldersAndNonNtfsPlacesGetNoOverlaysUntilANavigationLandsOnAFolder) {
  const std::wstring bin = GetSpecialFolderDisplayName(CSIDL_BITBUCKET);
  ASSERT_FALSE(bin.empty());
  THookThreadProbe t;
  ASSERT_EQ(t.CBTHook().Start(), L"");
  t.Start();
  StandIn standIn(L"--place \"Docs|file:///C:/windows/\" \"" + bin + L"|\" \"Share|file://nohost/share/\"");
  HWND binWindow = standIn.Window(bin.c_str()), share = standIn.Window(L"Share");
  ASSERT_TRUE(binWindow && share);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return t.Record(binWindow) && t.Record(binWindow)->SkipCheckWindow && t.Record(share) &&
               t.Record(share)->SkipCheckWindow;
      },
      5000));
  WaitUntil([] { return false; }, 600);  // several scans later
  EXPECT_FALSE(t.Record(binWindow)->Inited);
  EXPECT_FALSE(t.Record(share)->Inited);

  // The user picks an ordinary folder in the navigation tree: the file view is rebuilt, the
  // destruction of the old one re-checks the window.
  ::SetForegroundWindow(binWindow);
  ::BringWindowToTop(binWindow);
  WaitUntil([] { return false; }, 200);
  ClickTreeItem(TreeOf(binWindow), 0);
  ASSERT_TRUE(WaitUntil([&] { return testing_support::WindowText(binWindow) == L"Docs"; }, 3000))
      << "foreground " << ::GetForegroundWindow() << " bin " << binWindow;
  ASSERT_TRUE(WaitUntil([&] { return t.Inited(binWindow); }, 3000));
  TWindowRec* rec = t.Record(binWindow);
  EXPECT_FALSE(rec->SkipCheckWindow);
  EXPECT_EQ(rec->ExplorerPath, u"C:\\windows\\");
  EXPECT_EQ(WindowFromValue(rec->FileHandle), FileViewHostOf(binWindow));
  EXPECT_FALSE(t.Record(share)->Inited);
  t.StopAndWait();
}

TEST_F(ExplorerDiscovery, AWindowListedBeforeItsFolderIsKnownKeepsBeingScannedUntilItIs) {
  THookThreadProbe t;
  ASSERT_EQ(t.CBTHook().Start(), L"");
  t.Start();
  // Listed by the shell with neither location name nor URL, as a window is before its first
  // navigation completes.
  StandIn standIn(L"\"|\"");
  HWND top = standIn.Window(L"");
  ASSERT_TRUE(top);
  ASSERT_TRUE(WaitUntil([&] { return t.Record(top) && t.Record(top)->SearchBox != 0; }, 5000));
  WaitUntil([] { return false; }, 600);  // several scans later
  EXPECT_FALSE(t.Record(top)->Inited);
  EXPECT_FALSE(t.Record(top)->SkipCheckWindow);

  // The navigation completes in the same file view: the next scan takes the window on.
  ASSERT_TRUE(::SetWindowTextW(::FindWindowExW(top, nullptr, kLocationClass, nullptr), L"file:///C:/windows/"));
  ASSERT_TRUE(::SetWindowTextW(top, L"Docs"));
  ASSERT_TRUE(WaitUntil([&] { return t.Inited(top); }, 3000));
  EXPECT_EQ(t.Record(top)->ExplorerPath, u"C:\\windows\\");
  EXPECT_FALSE(t.Record(top)->SkipCheckWindow);
  t.StopAndWait();
}

}  // namespace
