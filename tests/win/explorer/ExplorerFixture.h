#pragma once
// A stand-in Explorer window registered with an in-process hook thread whose hook receiver
// runs, beside a recording search service: the set-up of the focus and search tests.
#include <gtest/gtest.h>

#include <memory>

#include "../../fixtures/shell_standin/ShellStandIn.h"
#include "../controls/TestSupport.h"
#include "ExplorerTestSupport.h"
#include "HookThreadProbe.h"
#include "RequestRecorder.h"
#include "win/shell/ShellUtils.h"

using namespace explorer_test;
using testing_support::RequestRecorder;
using testing_support::WaitUntil;

constexpr COLORREF kPlaceholder = RGB(0x6D, 0x6D, 0x6D);

// Pixels of the picture near the stand-in's placeholder grey, in its left part (the text).
inline int PlaceholderPixels(const TDibImage& picture) {
  int n = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width() * 2 / 3; ++x) {
      const std::uint32_t p = picture.Pixel(x, y);
      if (Near(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF), kPlaceholder, 24)) ++n;
    }
  return n;
}

class ExplorerOverlay : public ::testing::Test {
 protected:
  void SetUp() override {
    MainThread::Init();
    ASSERT_TRUE(RegisterShellStandIn(ExeDirectory()));
    ASSERT_EQ(thread_.CBTHook().Start(), L"");
    thread_.Start();
    standIn_ = std::make_unique<StandIn>(StandInArgs() + L" --place \"Share|file://nohost/share/\" \"Docs|file:///C:/windows/\"");
    top_ = standIn_->Window(L"Docs");
    ASSERT_NE(top_, nullptr);
    box_ = SearchBoxOf(top_);
    ASSERT_TRUE(WaitUntil([&] { return thread_.Inited(top_); }, 5000));
    rec_ = thread_.Record(top_);
  }
  void TearDown() override {
    thread_.StopAndWait();
    standIn_.reset();
  }

  virtual std::wstring StandInArgs() const { return L""; }
  bool EditFocused() const { return ::GetFocus() == rec_->Edit->Edit().Handle(); }
  int Escapes() const { return static_cast<int>(::SendMessageW(top_, kMsgEscapeCount, 0, 0)); }

  // A real click into Explorer's box, until our edit has the caret there.
  void ClickIntoTheBox() {
    // Wine at times drops a click, or the focus it gives, on a window that has just come to
    // the front; the user then clicks again.
    for (int attempt = 0; attempt < 3; ++attempt) {
      ClickCentre(box_);
      if (WaitUntil([&] { return rec_->Edit->Visible() || ::SendMessageW(top_, kMsgSearchFocused, 0, 0); }, 1000))
        break;
    }
    ASSERT_TRUE(WaitUntil([&] { return rec_->Edit->Visible() && EditFocused(); }, 4000))
        << "visible " << rec_->Edit->Visible() << " drop-down " << ::SendMessageW(top_, kMsgDropDownOpen, 0, 0);
    EXPECT_EQ(rec_->Edit->ParentWindow(), box_);
  }

  RequestRecorder service_;
  THookThreadProbe thread_;
  std::unique_ptr<StandIn> standIn_;
  HWND top_ = nullptr;
  HWND box_ = nullptr;
  TWindowRec* rec_ = nullptr;
};

