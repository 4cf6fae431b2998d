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
  ForeignHost() {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &sa, 0) || !CreatePipe(&inRead, &inWrite, &sa, 0)) return;
    out_.reset(outRead);
    in_.reset(inWrite);
    UniqueKernelHandle childOut(outWrite), childIn(inRead);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = childOut.get();
    si.hStdInput = childIn.get();
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring cmd = L"\"" + ExeDirectory() + L"foreign_host.exe\"";
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return;
    process_.reset(pi.hProcess);
    CloseHandle(pi.hThread);
    childOut.reset();
    std::string line;
    char c;
    DWORD read = 0;
    while (line.size() < 20 && ReadFile(out_.get(), &c, 1, &read, nullptr) && read == 1 && c != '\n') line += c;
    wnd_ = WindowFromValue(static_cast<std::uint32_t>(strtoul(line.c_str(), nullptr, 10)));
  }
  ~ForeignHost() {
    in_.reset();  // the helper closes its window and ends
    if (process_ && WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
  }
  HWND get() const { return wnd_; }
  HANDLE process() const { return process_.get(); }

 private:
  UniqueKernelHandle process_, out_, in_;
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

  TDibImage picture;
  ASSERT_TRUE(picture.Create(180, 28));
  for (int i = 0; i < 180 * 28; ++i) picture.Bits()[i] = 0xFFF0F0F0u;
  edit.SetBackground(picture);
  EXPECT_TRUE(PumpUntil([&] { return edit.Width() == 180; }, 3000)) << "painted under the foreign window";

  SetForegroundWindow(host.get());
  edit.SetFocus();
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == edit.Edit().Handle(); }, 3000));

  PressKey('R');
  PressKey('U');
  PressKey(VK_RETURN);
  EXPECT_TRUE(PumpUntil([&] { return enters == 1; }, 3000));
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
  EXPECT_TRUE(PumpUntil([&] { return !edit.HandleAllocated(); }, 5000));
  EXPECT_FALSE(edit.Edit().HandleAllocated());
}

}  // namespace
