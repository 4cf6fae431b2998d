// The overlay edit over Explorer's search box: shown by a real click into the box (after the
// drop-down on Windows 7), its background the box's picture without the placeholder, hidden
// by Escape, by the navigation tree, by another program when nothing is typed.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "../controls/TestSupport.h"
#include "ExplorerFixture.h"
#include "win/hook/CBTHookMessages.h"

using namespace explorer_test;
using testing_support::RequestRecorder;
using testing_support::WaitUntil;

namespace {

class ExplorerFocus : public ExplorerOverlay {};

TEST_F(ExplorerFocus, AClickIntoTheBoxShowsOurEditWithTheCaretOverAnErasedPicture) {
  RECT boxRect{};
  ::GetWindowRect(box_, &boxRect);
  EXPECT_TRUE(WaitUntil([&] { return PlaceholderPixels(CaptureScreen(boxRect)) > 10; }, 3000))
      << "the box paints its placeholder";
  SaveWindowShot(box_, L"search-box-before", 6);

  ClickIntoTheBox();
  if (!RunsAsWindows10()) {
    // Windows 7: the drop-down came and went; our Escape closed it.
    EXPECT_EQ(::SendMessageW(top_, kMsgDropDownOpen, 0, 0), 0);
    EXPECT_GE(Escapes(), 1);
  }
  WaitUntil([] { return false; }, 300);
  RECT editRect{};
  ::GetWindowRect(rec_->Edit->Handle(), &editRect);
  EXPECT_EQ(editRect.left, boxRect.left);
  EXPECT_EQ(editRect.top, boxRect.top);
  EXPECT_EQ(editRect.right - editRect.left, boxRect.right - boxRect.left);
  // Wine draws no child window of another process on screen, so the edit is composed over
  // the screen's picture of the box from its own painting, as Windows would show it.
  const TDibImage& background = rec_->Edit->Background();
  EXPECT_EQ(background.Width(), boxRect.right - boxRect.left);
  EXPECT_EQ(PlaceholderPixels(background), 0) << "the placeholder is erased from the edit's background";
  int glyph = 0;  // the magnifier stays at the right end
  for (int y = 0; y < background.Height(); ++y)
    for (int x = background.Width() - 24; x < background.Width() - 4; ++x)
      if (Near(RGB((background.Pixel(x, y) >> 16) & 0xFF, (background.Pixel(x, y) >> 8) & 0xFF,
                   background.Pixel(x, y) & 0xFF),
               RGB(0x40, 0x40, 0x40), 40))
        ++glyph;
  EXPECT_GT(glyph, 5);
  SaveComposedShot(box_, L"overlay-edit", 6);

  TypeText(L"report");
  ASSERT_TRUE(WaitUntil([&] { return rec_->Edit->Text() == u"report"; }, 3000));
  EXPECT_TRUE(rec_->Button->Visible());
  WaitUntil([] { return false; }, 200);
  SaveComposedShot(box_, L"overlay-edit-typed", 6);
  SaveComposedShot(top_, L"overlay-edit-window", 0);
}

TEST_F(ExplorerFocus, EscapeHandsTheFocusBackWithTwoEscapesAndTheReturnIsIgnored) {
  ClickIntoTheBox();
  TypeText(L"ab");
  ASSERT_TRUE(WaitUntil([&] { return rec_->Edit->Text() == u"ab"; }, 3000));
  const int escapesBefore = Escapes();
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return !rec_->Edit->Visible(); }, 3000));
  EXPECT_TRUE(WaitUntil([&] { return Escapes() == escapesBefore + 2; }, 3000));
  EXPECT_EQ(rec_->Edit->Text(), u"");
  EXPECT_FALSE(rec_->Button->Visible());
  EXPECT_TRUE(WaitUntil([&] { return thread_.GetThreadFocus(top_) == box_; }, 3000));
  // The focus arriving back at Explorer's box does not bring the edit back.
  WaitUntil([] { return false; }, 500);
  EXPECT_FALSE(rec_->Edit->Visible());
  EXPECT_TRUE(WaitUntil([&] { return !service_.Messages(kActionCancel).empty(); }, 2000));
  EXPECT_TRUE(service_.Messages(kActionSearch).empty());
}

TEST_F(ExplorerFocus, TheNavigationTreeHidesAndClearsTheEditWhateverItHolds) {
  ClickIntoTheBox();
  TypeText(L"kept");
  ASSERT_TRUE(WaitUntil([&] { return rec_->Edit->Text() == u"kept"; }, 3000));
  ClickCentre(TreeOf(top_));
  EXPECT_TRUE(WaitUntil([&] { return !rec_->Edit->Visible(); }, 3000));
  EXPECT_EQ(rec_->Edit->Text(), u"");
}

// Hook events handed to the thread in an order that real timing gives only now and then.
TEST_F(ExplorerFocus, ADropDownThatClosedAfterTheFocusLeftLeavesNoWaitBehind) {
  if (RunsAsWindows10()) GTEST_SKIP() << "only Windows 7 waits for the drop-down";
  ::SetForegroundWindow(top_);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == top_; }, 3000));
  WaitUntil([] { return false; }, 300);
  HWND elsewhere = FileViewHostOf(top_);
  auto dropDownOpens = [&] {
    std::vector<UniqueWindow> tips;
    for (int i = 0; i < 3; ++i) {
      tips.emplace_back(::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          nullptr, nullptr));
      MSG created{nullptr, kCBTCreateWnd, reinterpret_cast<WPARAM>(tips.back().get()), 0};
      bool handled = false;
      thread_.CBTHookHookMessage(created, handled);
    }
    return tips;
  };
  const int escapes = Escapes();
  // The focus arrives, the drop-down is found and our Escape goes out, but the user has left
  // the box before the drop-down goes.
  thread_.CBTHookSetFocus(box_, elsewhere);
  std::vector<UniqueWindow> first = dropDownOpens();
  ASSERT_TRUE(WaitUntil([&] { return Escapes() == escapes + 1; }, 2000));
  thread_.CBTHookSetFocus(elsewhere, box_);
  first.clear();
  // The next arrival finds its own drop-down and closes it.
  thread_.CBTHookSetFocus(box_, elsewhere);
  std::vector<UniqueWindow> second = dropDownOpens();
  EXPECT_TRUE(WaitUntil([&] { return Escapes() == escapes + 2; }, 2000));
}

class ExplorerFocusWithoutDropDown : public ExplorerFocus {
 protected:
  std::wstring StandInArgs() const override { return L"--no-drop-down"; }
};

TEST_F(ExplorerFocusWithoutDropDown, AClickIntoTheBoxBringsTheEditUpAllTheSame) {
  if (RunsAsWindows10()) GTEST_SKIP() << "only Windows 7 waits for the drop-down";
  ClickIntoTheBox();
  EXPECT_EQ(Escapes(), 0) << "there was no drop-down to close";
  TypeText(L"ok");
  EXPECT_TRUE(WaitUntil([&] { return rec_->Edit->Text() == u"ok"; }, 3000));
}

// A window of another program, beside (not over) the Explorer window.
class ExplorerFocusElsewhere : public ExplorerFocus {
 protected:
  void SetUp() override {
    ExplorerFocus::SetUp();
    other_ = std::make_unique<StandIn>(L"--browser Other");
    otherWindow_ = other_->Window(L"Other", kBrowserClass);
    ASSERT_NE(otherWindow_, nullptr);
    ::MoveWindow(otherWindow_, 700, 450, 400, 300, TRUE);
  }
  std::unique_ptr<StandIn> other_;
  HWND otherWindow_ = nullptr;
};

TEST_F(ExplorerFocusElsewhere, AnotherProgramKeepsTheEditWithText) {
  ClickIntoTheBox();
  TypeText(L"x");
  ASSERT_TRUE(WaitUntil([&] { return rec_->Edit->Text() == u"x"; }, 3000));
  ::SetForegroundWindow(otherWindow_);
  WaitUntil([] { return false; }, 600);
  EXPECT_TRUE(rec_->Edit->Visible());
  EXPECT_EQ(rec_->Edit->Text(), u"x");
}

TEST_F(ExplorerFocusElsewhere, AnotherProgramHidesTheEditWithNothingTyped) {
  ClickIntoTheBox();
  ::SetForegroundWindow(otherWindow_);
  EXPECT_TRUE(WaitUntil([&] { return !rec_->Edit->Visible(); }, 3000));
  EXPECT_TRUE(WaitUntil([&] { return !service_.Messages(kActionCancel).empty(); }, 2000));
}

}  // namespace
