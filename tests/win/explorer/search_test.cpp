// Typing in the overlay edit sends the query after a pause (Enter at once), emptying it
// cancels; the service's answer fills the window's result list over the file view, and the
// list follows the window's size.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "ExplorerFixture.h"
#include "app/MainForm.h"
#include "core/SearchMessages.h"
#include "win/ipc/IPCClient.h"
#include "win/resultview/ListViewEx.h"

namespace {

class ExplorerSearch : public ExplorerOverlay {
 protected:
  void SetUp() override {
    ExplorerOverlay::SetUp();
    thread_.OnAddSearchResult = &TfrmRuvoSearch::AddSearchResult;
  }

  std::vector<TSearchMessage> Searches() { return service_.Messages(kActionSearch); }

  // The list covers the file-view host exactly.
  bool ListCoversFileView() {
    RECT list{}, host{};
    return rec_->ResultView && ::GetWindowRect(rec_->ResultView->Handle(), &list) &&
           ::GetWindowRect(WindowFromValue(rec_->FileHandle), &host) && ::EqualRect(&list, &host);
  }

  // Sends the messages on one connection, as the service does, serving the main thread.
  void Answer(const std::vector<IMessageData>& messages) {
    std::atomic<bool> done{false};
    std::thread sender([&] {
      TIPCClient client;
      client.SetServerName(kSearchResultPipe);
      client.ConnectClient(3000);
      for (const auto& m : messages) client.ExecuteConnectedRequest(m);
      client.DisconnectClient();
      done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 10000));
    sender.join();
  }
};

TEST_F(ExplorerSearch, TypingSendsOneSearchHalfASecondAfterTheLastLetter) {
  ClickIntoTheBox();
  TypeText(L"ab", 100);
  TypeText(L"c");
  const DWORD lastLetter = ::GetTickCount();
  ASSERT_TRUE(WaitUntil([&] { return Searches().size() == 1; }, 3000));
  const DWORD after = ::GetTickCount() - lastLetter;
  EXPECT_GE(after, 450u);
  EXPECT_LE(after, 900u);
  const TSearchMessage search = Searches()[0];
  EXPECT_EQ(search.Wildcard, u"abc");
  EXPECT_EQ(search.Dir, u"C:\\windows\\");
  EXPECT_EQ(search.SearchBox, WindowValue(top_));
  WaitUntil([] { return false; }, 800);
  EXPECT_EQ(Searches().size(), 1u);

  // The list lies over the file view, saying it searches.
  ASSERT_TRUE(rec_->ResultView);
  EXPECT_TRUE(rec_->ResultView->Panel().Visible());
  EXPECT_EQ(rec_->ResultView->ParentWindow(), FileViewHostOf(top_));
  EXPECT_TRUE(ListCoversFileView());
  EXPECT_TRUE(rec_->ResultView->StatusLabelVisible());
  EXPECT_TRUE(rec_->ResultView->StatusLabelValue());
  EXPECT_EQ(rec_->ResultView->Tag(), WindowValue(top_));
}

TEST_F(ExplorerSearch, EnterSendsAtOnceAndEmptyingCancelsAndHidesTheList) {
  ClickIntoTheBox();
  TypeText(L"xy");
  PressKey(VK_RETURN);
  const DWORD entered = ::GetTickCount();
  ASSERT_TRUE(WaitUntil([&] { return Searches().size() == 1; }, 3000));
  EXPECT_LT(::GetTickCount() - entered, 300u);
  ASSERT_TRUE(rec_->ResultView && rec_->ResultView->Panel().Visible());

  PressKey(VK_BACK);
  PressKey(VK_BACK);
  ASSERT_TRUE(WaitUntil([&] { return !service_.Messages(kActionCancel).empty(); }, 3000));
  EXPECT_FALSE(rec_->ResultView->Panel().Visible());
  EXPECT_FALSE(rec_->Button->Visible());
  WaitUntil([] { return false; }, 800);
  EXPECT_EQ(Searches().size(), 1u) << "the timer of the deleted text does not fire";
}

TEST_F(ExplorerSearch, BlanksCountAsEmptyWhileTheCloseButtonShows) {
  ClickIntoTheBox();
  TypeText(L"  ");
  ASSERT_TRUE(WaitUntil([&] { return service_.Messages(kActionCancel).size() >= 2; }, 3000));
  EXPECT_TRUE(rec_->Button->Visible());
  WaitUntil([] { return false; }, 800);
  EXPECT_TRUE(Searches().empty());
}

TEST_F(ExplorerSearch, TheAnswerFillsTheListOverTheFileView) {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  const std::wstring folder = std::wstring(tmp) + L"ruvo explorer search\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ::CreateDirectoryW((folder + L"notes folder").c_str(), nullptr);
  std::ofstream((folder + L"notes one.txt").c_str()) << "1";
  std::ofstream((folder + L"notes two.txt").c_str()) << "22";

  ClickIntoTheBox();
  TypeText(L"notes");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return Searches().size() == 1; }, 3000));
  const std::uint32_t box = WindowValue(top_);
  const std::u16string f = U(folder);
  Answer({BuildAnswerBegin(box), BuildFoundItem(f + u"notes one.txt", u"notes", box),
          BuildFoundItem(f + u"notes one.txt", u"notes", box),       // the same path again
          BuildFoundItem(f + u"notes gone.txt", u"notes", box),      // vanished since
          BuildFoundItem(f + u"notes folder", u"notes", box),        // a folder goes first
          BuildFoundItem(f + u"notes two.txt", u"older", box),       // an older query
          BuildFoundItem(f + u"notes two.txt", u"notes", 0x7FFF0001),  // an unknown box
          BuildFoundItem(f + u"notes two.txt", u"notes", box), BuildAnswerEnd(box)});
  TListViewEx& list = *rec_->ResultView;
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.Node(0).FullPath, f + u"notes folder");
  EXPECT_EQ(list.Node(1).FullPath, f + u"notes one.txt");
  EXPECT_EQ(list.Node(2).FullPath, f + u"notes two.txt");
  EXPECT_FALSE(list.StatusLabelVisible());
  WaitUntil([] { return false; }, 300);
  SaveComposedShot(top_, L"result-list");

  // A new query whose answer lists nothing says so.
  TypeText(L"zz");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return Searches().size() == 2; }, 3000));
  Answer({BuildAnswerBegin(box), BuildAnswerEnd(box)});
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(list.StatusLabelVisible());
  EXPECT_FALSE(list.StatusLabelValue());
  EXPECT_EQ(testing_support::WindowText(list.StatusLabel()), TListViewEx::kNoMatchText);
  SaveComposedShot(top_, L"result-list-no-match");

  for (const wchar_t* name : {L"notes one.txt", L"notes two.txt"}) ::DeleteFileW((folder + name).c_str());
  ::RemoveDirectoryW((folder + L"notes folder").c_str());
  ::RemoveDirectoryW(folder.c_str());
}

TEST_F(ExplorerSearch, TheListFollowsTheWindowWhenMaximisedMinimisedAndRestored) {
  ClickIntoTheBox();
  TypeText(L"q");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return rec_->ResultView && rec_->ResultView->Panel().Visible(); }, 3000));
  for (int show : {SW_MAXIMIZE, SW_RESTORE, SW_MINIMIZE, SW_RESTORE}) {
    ::ShowWindow(top_, show);
    if (show == SW_MINIMIZE) {
      WaitUntil([] { return false; }, 300);
      continue;
    }
    // The window settles when its file view has its new size; the list follows within ~50 ms.
    RECT settled{};
    DWORD since = ::GetTickCount();
    WaitUntil(
        [&] {
          RECT now{};
          ::GetWindowRect(WindowFromValue(rec_->FileHandle), &now);
          if (!::EqualRect(&now, &settled)) {
            settled = now;
            since = ::GetTickCount();
          }
          return ::GetTickCount() - since > 100;
        },
        3000);
    EXPECT_TRUE(WaitUntil([&] { return ListCoversFileView(); }, 200)) << "after show command " << show;
  }
}

TEST_F(ExplorerSearch, ClosingTheWindowBehindAnotherProgramFreesTheRecordAndItsControls) {
  ClickIntoTheBox();
  TypeText(L"gone");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return rec_->ResultView && rec_->ResultView->Panel().Visible(); }, 3000));
  const HWND windows[] = {rec_->Edit->Handle(), rec_->Edit->Edit().Handle(), rec_->Button->Handle(),
                          rec_->ResultView->Handle(), rec_->ResultView->Panel().Handle()};
  for (HWND w : windows) ASSERT_TRUE(::IsWindow(w));

  StandIn other(L"--browser Other");
  HWND otherWindow = other.Window(L"Other", kBrowserClass);
  ASSERT_NE(otherWindow, nullptr);
  ::MoveWindow(otherWindow, 700, 450, 400, 300, TRUE);
  ::SetForegroundWindow(otherWindow);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == otherWindow; }, 3000));
  const std::size_t cancels = service_.Messages(kActionCancel).size();
  ::PostMessageW(top_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return thread_.Record(top_) == nullptr; }, 5000));
  rec_ = nullptr;
  for (HWND w : windows) EXPECT_FALSE(::IsWindow(w));
  EXPECT_EQ(thread_.WindowList().Count(), 0);
  EXPECT_TRUE(WaitUntil([&] { return service_.Messages(kActionCancel).size() > cancels; }, 2000));
  EXPECT_EQ(service_.Messages(kActionCancel).back().SearchBox, WindowValue(top_));

  // The service's late items for the window that is gone are dropped.
  wchar_t windowsDir[MAX_PATH] = L"";
  ::GetWindowsDirectoryW(windowsDir, MAX_PATH);
  const std::uint32_t box = WindowValue(top_);
  std::vector<IMessageData> late{BuildAnswerBegin(box)};
  for (int i = 0; i < 200; ++i) late.push_back(BuildFoundItem(U(windowsDir), u"gone", box));
  late.push_back(BuildAnswerEnd(box));
  Answer(late);
  EXPECT_EQ(thread_.WindowList().Count(), 0);
}

TEST_F(ExplorerSearch, NavigatingToAPlaceThatCannotBeSearchedDropsTheListAndBackBringsTheEdit) {
  ClickIntoTheBox();
  TypeText(L"nav");
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return rec_->ResultView && rec_->ResultView->Panel().Visible(); }, 3000));
  const HWND oldHost = WindowFromValue(rec_->FileHandle);
  const HWND panel = rec_->ResultView->Panel().Handle();

  ClickTreeItem(TreeOf(top_), 0);  // a network share: not NTFS
  ASSERT_TRUE(WaitUntil([&] { return testing_support::WindowText(top_) == L"Share"; }, 3000));
  ASSERT_TRUE(WaitUntil([&] { return rec_->SkipCheckWindow; }, 3000));
  EXPECT_FALSE(::IsWindow(panel)) << "the list went with the old file view";
  EXPECT_EQ(rec_->ResultView, nullptr) << "the list lay on the old file view";
  EXPECT_FALSE(rec_->Edit->Visible());
  EXPECT_EQ(rec_->Edit->Text(), u"");
  EXPECT_NE(WindowFromValue(rec_->FileHandle), oldHost);
  EXPECT_EQ(WindowFromValue(rec_->FileHandle), FileViewHostOf(top_));
  EXPECT_TRUE(WaitUntil([&] { return !service_.Messages(kActionCancel).empty(); }, 2000));

  // Explorer's own box stays usable there: a click shows nothing of ours.
  ClickCentre(box_);
  WaitUntil([] { return false; }, 600);
  EXPECT_FALSE(rec_->Edit->Visible());

  ClickTreeItem(TreeOf(top_), 1);  // back to the folder
  ASSERT_TRUE(WaitUntil([&] { return !rec_->SkipCheckWindow && rec_->ExplorerPath == u"C:\\windows\\"; }, 3000));
  // Explorer's box may hold the focus the navigation handed back; from the file view, a click
  // into it brings our edit again.
  ClickCentre(FileViewHostOf(top_));
  WaitUntil([] { return false; }, 300);
  ClickIntoTheBox();
}

}  // namespace
