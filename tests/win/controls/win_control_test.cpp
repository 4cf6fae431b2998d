#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "win/common/ApplicationException.h"
#include "win/controls/ImageEdit.h"
#include "win/controls/WinControl.h"

namespace {

// Collects what reaches the window-error handler while it lives.
class ReportedErrors {
 public:
  ReportedErrors()
      : previous_(SetApplicationExceptionHandler(
            [this](std::exception_ptr e) { texts.push_back(ExceptionText(e)); })) {}
  ~ReportedErrors() { SetApplicationExceptionHandler(previous_); }
  ReportedErrors(const ReportedErrors&) = delete;
  ReportedErrors& operator=(const ReportedErrors&) = delete;

  std::vector<std::wstring> texts;

 private:
  TApplicationExceptionHandler previous_;
};

// A control whose handler of kFail throws and which answers kAnswer with 42.
class FailingControl : public TWinControl {
 public:
  static constexpr UINT kFail = WM_APP + 1;
  static constexpr UINT kAnswer = WM_APP + 2;

  bool CreateOwn(HWND parent) {
    return CreateOwnWindow(L"RuvoTestFailingControl", WS_CHILD | WS_VISIBLE, 0, parent, RECT{0, 0, 40, 20});
  }
  bool CreateStandard(HWND parent) {
    return CreateStandardWindow(L"STATIC", WS_CHILD | WS_VISIBLE, 0, parent, RECT{0, 40, 40, 60});
  }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kFail) throw std::runtime_error("handler failed");
    if (msg == kAnswer) return 42;
    return TWinControl::WndProc(msg, wp, lp);
  }
};

void ExpectReportedAndStillWorking(FailingControl& control, ReportedErrors& errors) {
  EXPECT_EQ(SendMessageW(control.Handle(), FailingControl::kFail, 0, 0), 0);
  EXPECT_EQ(errors.texts, std::vector<std::wstring>{L"handler failed"});
  EXPECT_TRUE(IsWindow(control.Handle()));
  EXPECT_EQ(SendMessageW(control.Handle(), FailingControl::kAnswer, 0, 0), 42);

  // A posted message fails through the thread's own dispatch the same way.
  ASSERT_TRUE(PostMessageW(control.Handle(), FailingControl::kFail, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return errors.texts.size() == 2; }, 5000));
  EXPECT_EQ(SendMessageW(control.Handle(), FailingControl::kAnswer, 0, 0), 42);
}

TEST(WinControl, HandlerErrorOfAnOwnWindowGoesToTheInstalledHandler) {
  TestHost host{20, 20, 100, 100};
  ReportedErrors errors;
  FailingControl control;
  ASSERT_TRUE(control.CreateOwn(host.get()));
  ExpectReportedAndStillWorking(control, errors);
}

TEST(WinControl, HandlerErrorOfAWrappedStandardWindowGoesToTheInstalledHandler) {
  TestHost host{20, 20, 100, 100};
  ReportedErrors errors;
  FailingControl control;
  ASSERT_TRUE(control.CreateStandard(host.get()));
  ExpectReportedAndStillWorking(control, errors);
}

TEST(WinControl, ErrorInAnEventOfTheEditIsReportedAndTypingGoesOn) {
  TestHost host{20, 20, 320, 120};
  ReportedErrors errors;
  TImageEdit edit;
  ASSERT_TRUE(edit.SetParentWindow(host.get()));
  int changes = 0;
  edit.OnChange = [&](TImageEdit&) {
    if (++changes == 1) throw std::runtime_error("change handler failed");
  };
  for (wchar_t c : std::wstring(L"ab")) SendMessageW(edit.Edit().Handle(), WM_CHAR, c, 1);
  EXPECT_EQ(errors.texts, std::vector<std::wstring>{L"change handler failed"});
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(edit.Text(), u"ab");
}

}  // namespace
