#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "win/common/WideText.h"
#include "win/common/WindowValue.h"
#include "win/controls/ImageEdit.h"

namespace {

// The foreign_host helper: a window of a second process. Closing its stdin ends it.
class ForeignHost {
 public:
  // The helper writes its window's value as its first line.
  ForeignHost() : process_(ExeDirectory() + L"foreign_host.exe", L"", {.captureOutput = true, .pipeInput = true}) {
    std::string line;
    WaitUntil([&] {
      line = process_.Output();
      return line.find('\n') != std::string::npos || !process_.Running();
    }, 10000);
    line = line.substr(0, line.find('\n'));
    wnd_ = WindowFromValue(static_cast<std::uint32_t>(strtoul(line.c_str(), nullptr, 10)));
  }
  ~ForeignHost() {
    process_.CloseInput();  // the helper closes its window and ends
    process_.Wait(10000);
  }
  HWND get() const { return wnd_; }
  HANDLE process() const { return process_.Handle(); }

 private:
  testing_support::ChildProcess process_;
  HWND wnd_ = nullptr;
};

void PressKey(WORD vk) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

TEST(ImageEditUnderAnotherProcess, ShowsTakesTheFocusAndTheKeystrokes) {
  ForeignHost host;
  ASSERT_TRUE(IsWindow(host.get()));
  DWORD pid = 0;
  GetWindowThreadProcessId(host.get(), &pid);
  ASSERT_NE(pid, GetCurrentProcessId());

  TImageEdit edit;
  int changes = 0, enters = 0;
  edit.OnChange = [&](TImageEdit&) { ++changes; };
  edit.OnEnterPress = [&](TImageEdit&) { ++enters; };
  ASSERT_TRUE(edit.SetParentWindow(host.get()));
  EXPECT_EQ(GetParent(edit.Handle()), host.get());
  ASSERT_TRUE(edit.Edit().HandleAllocated()) << "the inner edit is there under a foreign parent too";
  EXPECT_EQ(GetParent(edit.Edit().Handle()), edit.Handle());
  edit.SetBounds(10, 10, 150, 26);
  edit.Show();
  EXPECT_TRUE(IsWindowVisible(edit.Edit().Handle()));

  const TDibImage picture = SolidPicture(180, 28, 0xFFF0F0F0u);
  ASSERT_FALSE(picture.Empty());
  edit.SetBackground(picture);
  EXPECT_TRUE(WaitUntil([&] { return edit.Width() == 180; }, 3000)) << "painted under the foreign window";

  SetForegroundWindow(host.get());
  edit.SetFocus();
  EXPECT_TRUE(WaitUntil([&] { return GetFocus() == edit.Edit().Handle(); }, 3000));

  PressKey('R');
  PressKey('U');
  PressKey(VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return enters == 1; }, 3000));
  EXPECT_EQ(edit.Text(), u"ru");
  EXPECT_EQ(changes, 2);
}

TEST(ImageEditUnderAnotherProcess, OutlivesTheForeignWindow) {
  TImageEdit edit;
  {
    ForeignHost host;
    ASSERT_TRUE(IsWindow(host.get()));
    ASSERT_TRUE(edit.SetParentWindow(host.get()));
    edit.Show();
  }  // the helper ends; its window and our child windows go with it
  EXPECT_TRUE(WaitUntil([&] { return !edit.HandleAllocated(); }, 5000));
  EXPECT_FALSE(edit.Edit().HandleAllocated());
}

}  // namespace
