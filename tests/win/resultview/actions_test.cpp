// The mouse and keys on a result list: double click runs an item, the right button asks for
// the shell's menu on the selection, "open" runs the selection (asking from 15 items on),
// F3 and Ctrl+F lead back to the search edit, the left and middle buttons show no menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ResultViewTestSupport.h"
#include "win/common/WideText.h"
#include "win/shell/ShellScopes.h"

namespace {

// A shell menu stand-in: records each call and answers with a verb.
struct MenuCalls {
  int count = 0;
  std::wstring folder;
  std::vector<std::wstring> names;
  TShellMenuOptions options;
  std::wstring answer;

  TListViewEx::TShellMenu Menu() {
    return [this](HWND, POINT, const std::wstring& f, const std::vector<std::wstring>& n, std::wstring& verb,
                  const TShellMenuOptions& o) {
      ++count;
      folder = f;
      names = n;
      options = o;
      verb = answer;
    };
  }
};

class Actions : public ::testing::Test {
 protected:
  Actions() : fx_(40, 40, 700, 520) {
    ::SetForegroundWindow(fx_.Host());
    List().SetFocus();
  }
  TListViewEx& List() { return fx_.List(); }

  void AddFile(const std::wstring& path) {
    List().Append(MakeShellObjectData(U(path), u"", ::GetFileAttributesW(path.c_str())));
  }
  POINT RowPoint(std::size_t row) {
    const RECT r = List().ContentRect(row);
    POINT p{r.left + 200, (r.top + r.bottom) / 2};
    ::ClientToScreen(List().Handle(), &p);
    return p;
  }
  POINT EmptyPoint() {
    RECT client{};
    ::GetClientRect(List().Handle(), &client);
    POINT p{200, client.bottom - 5};
    ::ClientToScreen(List().Handle(), &p);
    return p;
  }
  void Select(std::initializer_list<int> rows) {
    ListView_SetItemState(List().Handle(), -1, 0, LVIS_SELECTED);
    for (int r : rows) ListView_SetItemState(List().Handle(), r, LVIS_SELECTED, LVIS_SELECTED);
  }
  void SelectFirst(int n) {
    ListView_SetItemState(List().Handle(), -1, 0, LVIS_SELECTED);
    for (int r = 0; r < n; ++r) ListView_SetItemState(List().Handle(), r, LVIS_SELECTED, LVIS_SELECTED);
  }
  void RightClick(POINT p) { ClickAt(p, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }
  std::map<std::wstring, int> Runs() {
    std::map<std::wstring, int> runs;
    for (const auto& r : RunsRecorded(dir_)) ++runs[r];
    return runs;
  }
  std::size_t RunCount() { return RunsRecorded(dir_).size(); }

  ListFixture fx_;
  TempFolder dir_{L"ruvo-actions"};
  MenuCalls menu_;
};

TEST_F(Actions, DoubleClickRunsTheItemAndEmptySpaceNothing) {
  const std::wstring item = CopyRunRecorder(dir_, L"item one.exe");
  AddFile(dir_.File(L"other.txt"));
  AddFile(item);
  ClickAt(RowPoint(1), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true);
  ASSERT_TRUE(PumpUntil([&] { return RunCount() >= 1; }, 10000));
  ClickAt(EmptyPoint(), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true);
  Pump(1500);
  EXPECT_EQ(Runs(), (std::map<std::wstring, int>{{L"item one.exe", 1}}));
}

TEST_F(Actions, RightButtonAsksForTheMenuOnTheSelectionRelativeToTheSearchPath) {
  for (const wchar_t* n : {L"a.txt", L"sub\\b.txt", L"c.txt"}) AddFile(dir_.File(n));
  List().SetSearchPath(U(dir_.Path().substr(0, dir_.Path().size() - 1)));  // without the backslash
  List().ShellMenu = menu_.Menu();

  // One row selected: the click selects the row under the mouse.
  Select({0});
  RightClick(RowPoint(2));
  ASSERT_EQ(menu_.count, 1);
  EXPECT_EQ(menu_.folder, dir_.Path());
  EXPECT_EQ(menu_.names, (std::vector<std::wstring>{L"c.txt"}));
  EXPECT_TRUE(menu_.options.AllowPaste);
  EXPECT_TRUE(menu_.options.CallerOpens) << "the list runs the items itself";

  // Two selected: the selection stays wherever the click lands.
  Select({0, 1});
  RightClick(RowPoint(2));
  ASSERT_EQ(menu_.count, 2);
  EXPECT_EQ(menu_.names, (std::vector<std::wstring>{L"a.txt", L"sub\\b.txt"}));
  EXPECT_EQ(List().SelectedIndices(), (std::vector<std::size_t>{0, 1}));

  // No search path: full paths and the empty folder.
  List().SetSearchPath(u"");
  RightClick(RowPoint(0));
  ASSERT_EQ(menu_.count, 3);
  EXPECT_EQ(menu_.folder, L"");
  EXPECT_EQ(menu_.names, (std::vector<std::wstring>{dir_.Path() + L"a.txt", dir_.Path() + L"sub\\b.txt"}));

  // Nothing under the mouse and nothing selected: no menu.
  Select({});
  RightClick(EmptyPoint());
  EXPECT_EQ(menu_.count, 3);
}

TEST_F(Actions, LeftAndMiddleButtonsNeverOpenAMenu) {
  AddFile(dir_.File(L"a.txt"));
  AddFile(dir_.File(L"b.txt"));
  List().ShellMenu = menu_.Menu();
  Select({0, 1});
  ClickAt(RowPoint(0), MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
  ClickAt(RowPoint(1), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  ClickAt(EmptyPoint(), MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
  Pump(300);
  EXPECT_EQ(menu_.count, 0);
  RightClick(RowPoint(1));
  EXPECT_EQ(menu_.count, 1);  // the right button does
}

TEST_F(Actions, DeleteRemovesTheSelectedRowsAndShowsNoMatchWhenNoneAreLeft) {
  for (const wchar_t* n : {L"a.txt", L"b.txt", L"c.txt"}) AddFile(dir_.File(n));
  List().ShellMenu = menu_.Menu();
  menu_.answer = L"delete";
  Select({0, 2});
  RightClick(RowPoint(0));
  ASSERT_EQ(List().Count(), 1u);
  EXPECT_EQ(W(List().Node(0).FileName), L"b.txt");
  EXPECT_FALSE(List().StatusLabelVisible());
  Select({0});
  RightClick(RowPoint(0));
  EXPECT_EQ(List().Count(), 0u);
  EXPECT_TRUE(::IsWindowVisible(List().StatusLabel()));
  wchar_t text[64] = L"";
  ::GetWindowTextW(List().StatusLabel(), text, 64);
  EXPECT_STREQ(text, TListViewEx::kNoMatchText);
}

// The real menu of Wine through the list: "delete" on two files, one of which vanished.
TEST_F(Actions, WineMenuDeleteRemovesFilesAndRows) {
  const std::wstring a = dir_.File(L"a.txt"), b = dir_.File(L"b.txt"), c = dir_.File(L"c.txt");
  for (const auto& p : {a, b, c}) AddFile(p);
  List().SetSearchPath(U(dir_.Path()));
  ::DeleteFileW(b.c_str());
  Select({0, 1});
  ComScope com;
  MenuRobot robot(MenuRobot::Action::Choose, L"Delete", IDYES, 4000);
  RightClick(RowPoint(0));
  robot.Join();
  ASSERT_TRUE(robot.SawMenu());
  EXPECT_EQ(::GetFileAttributesW(a.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(::GetFileAttributesW(c.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(List().Count(), 1u);
  EXPECT_EQ(W(List().Node(0).FileName), L"c.txt");
}


TEST_F(Actions, OpenRunsFourteenWithoutAskingAndAsksForFifteen) {
  for (int i = 1; i <= 15; ++i) {
    wchar_t name[32];
    wsprintfW(name, L"item_%02d.exe", i);
    AddFile(CopyRunRecorder(dir_, name));
  }
  List().ShellMenu = menu_.Menu();
  menu_.answer = L"open";

  // 14: no question, each runs once.
  SelectFirst(14);
  {
    MenuRobot robot = MenuRobot::ForDialog(IDNO, 1500);
    RightClick(RowPoint(0));
    robot.Join();
    EXPECT_TRUE(robot.DialogTexts().empty()) << "no question for 14";
  }
  ASSERT_TRUE(PumpUntil([&] { return RunCount() >= 14; }, 30000));
  Pump(1000);
  auto runs = Runs();
  EXPECT_EQ(runs.size(), 14u);
  for (const auto& [name, n] : runs) EXPECT_EQ(n, 1) << name;
  ::DeleteFileW((dir_.Path() + L"runs.log").c_str());

  // 15, answered No: the question, then nothing runs.
  SelectFirst(15);
  {
    MenuRobot robot = MenuRobot::ForDialog(IDNO);
    RightClick(RowPoint(0));
    robot.Join();
    ASSERT_EQ(robot.DialogTexts().size(), 1u);
    EXPECT_EQ(robot.DialogTexts()[0], L"是否确实要打开 15 个文件？");
    EXPECT_EQ(robot.DialogCaptions()[0], L"Ruvoso");
  }
  Pump(1500);
  EXPECT_EQ(RunCount(), 0u);

  // 15, answered Yes: each runs once.
  {
    MenuRobot robot = MenuRobot::ForDialog(IDYES);
    RightClick(RowPoint(0));
    robot.Join();
    EXPECT_EQ(robot.DialogTexts().size(), 1u);
  }
  ASSERT_TRUE(PumpUntil([&] { return RunCount() >= 15; }, 30000));
  Pump(1000);
  runs = Runs();
  EXPECT_EQ(runs.size(), 15u);
  for (const auto& [name, n] : runs) EXPECT_EQ(n, 1) << name;
}

void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> in;
  for (WORD k : keys) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    in.push_back(i);
  }
  for (auto it = keys.end(); it != keys.begin();) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = *--it;
    i.ki.dwFlags = KEYEVENTF_KEYUP;
    in.push_back(i);
  }
  ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  Pump(200);
}

TEST_F(Actions, F3AndCtrlFRaiseOnSearchKeyPress) {
  AddFile(dir_.File(L"a.txt"));
  int raised = 0;
  List().OnSearchKeyPress = [&](TListViewEx& sender) {
    EXPECT_EQ(&sender, &List());
    ++raised;
  };
  ClickAt(RowPoint(0), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  ASSERT_EQ(::GetFocus(), List().Handle());
  PressKeys({VK_F3});
  EXPECT_EQ(raised, 1);
  PressKeys({VK_CONTROL, 'F'});
  EXPECT_EQ(raised, 2);
  PressKeys({'F'});
  PressKeys({VK_F4});
  PressKeys({VK_CONTROL, 'G'});
  EXPECT_EQ(raised, 2);
  // The list keeps the Tab key.
  EXPECT_TRUE(::SendMessageW(List().Handle(), WM_GETDLGCODE, VK_TAB, 0) & DLGC_WANTTAB);
}

}  // namespace
