// The exports of RuvoSearch.dll called directly: registration rules and result codes.
#include <gtest/gtest.h>

#include <thread>

#include "HookTestSupport.h"
#include "core/HookKinds.h"
#include "win/common/WideText.h"

namespace {

using AttachFn = int(WINAPI*)(int, HWND, int, HWND);
using DetachFn = int(WINAPI*)(HWND);
using LastErrorFn = DWORD(WINAPI*)();

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryW((ExeDirectory() + L"RuvoSearch.dll").c_str()));
    ASSERT_TRUE(module_);
    attach = reinterpret_cast<AttachFn>(::GetProcAddress(module_.get(), "AttachReceiver"));
    detach = reinterpret_cast<DetachFn>(::GetProcAddress(module_.get(), "DetachReceiver"));
    lastError = reinterpret_cast<LastErrorFn>(::GetProcAddress(module_.get(), "LastError"));
    ASSERT_TRUE(attach && detach && lastError);
    window_.reset(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window_);
  }
  void TearDown() override { window_.reset(); }

  UniqueModule module_;
  UniqueWindow window_;
  AttachFn attach = nullptr;
  DetachFn detach = nullptr;
  LastErrorFn lastError = nullptr;
};

}  // namespace

TEST_F(Library, RegistersOnceAndDetaches) {
  HWND wnd = window_.get();
  ASSERT_EQ(attach(kCBTHookKind, wnd, 0, nullptr), 0);
  EXPECT_EQ(attach(kCBTHookKind, wnd, 0, nullptr), -2);
  EXPECT_EQ(detach(wnd), 0);
  EXPECT_EQ(detach(wnd), -3);
  EXPECT_EQ(attach(kCBTHookKind, wnd, 0, nullptr), 0);  // free again after detaching
  EXPECT_EQ(detach(wnd), 0);
}

TEST_F(Library, RejectsBadArguments) {
  struct Case {
    int kind;
    HWND receiver;
    int filtering;
    HWND hooked;
    DWORD error;
  };
  HWND wnd = window_.get();
  const Case cases[] = {
      {WH_MOUSE, wnd, 0, nullptr, ERROR_NOT_SUPPORTED},
      {WH_CBT, wnd, 0, nullptr, ERROR_NOT_SUPPORTED},  // the system's number, not the library's
      {kCBTHookKind, reinterpret_cast<HWND>(0x7FFF0), 0, nullptr, ERROR_INVALID_WINDOW_HANDLE},
      {kCBTHookKind, nullptr, 0, nullptr, ERROR_INVALID_WINDOW_HANDLE},
      {kCBTHookKind, wnd, 2, nullptr, ERROR_INVALID_PARAMETER},
      {kCBTHookKind, wnd, 1, nullptr, ERROR_INVALID_WINDOW_HANDLE},
      {kCBTHookKind, ::GetDesktopWindow(), 0, nullptr, ERROR_ACCESS_DENIED},  // not a window of this process
  };
  for (const Case& c : cases) {
    EXPECT_EQ(attach(c.kind, c.receiver, c.filtering, c.hooked), static_cast<int>(c.error)) << c.error;
    EXPECT_EQ(lastError(), c.error);
  }
  EXPECT_EQ(detach(wnd), -3);  // none of them registered
  EXPECT_EQ(lastError(), 0u);
}

TEST_F(Library, DeliversInOrderAndDropsTheRegistrationWithTheWindow) {
  struct Seen {
    std::vector<UINT> codes;
    std::vector<WPARAM> windows;
  } seen;
  // The receiver window records the hook messages for windows of this thread.
  HWND receiver = window_.get();
  ::SetWindowLongPtrW(receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
  ::SetWindowLongPtrW(receiver, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                        if (m >= WM_USER && m <= WM_USER + 9) {
                          auto* s = reinterpret_cast<Seen*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
                          s->codes.push_back(m - WM_USER);
                          s->windows.push_back(wp);
                          return 0;
                        }
                        return ::DefWindowProcW(w, m, wp, lp);
                      }));
  ASSERT_EQ(attach(kCBTHookKind, receiver, 0, nullptr), 0);
  std::vector<WPARAM> made;
  for (int i = 0; i < 5; ++i) {
    HWND w = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    made.push_back(reinterpret_cast<WPARAM>(w));
    ::DestroyWindow(w);
  }
  PumpFor(200);
  std::vector<WPARAM> order;
  for (size_t i = 0; i < seen.codes.size(); ++i)
    for (WPARAM w : made)
      if (seen.windows[i] == w && (seen.codes[i] == HCBT_CREATEWND || seen.codes[i] == HCBT_DESTROYWND))
        order.push_back(w * 16 + seen.codes[i]);
  std::vector<WPARAM> expected;
  for (WPARAM w : made) {
    expected.push_back(w * 16 + HCBT_CREATEWND);
    expected.push_back(w * 16 + HCBT_DESTROYWND);
  }
  EXPECT_EQ(order, expected);
  // Destroying the receiver window ends its registration.
  window_.reset();
  EXPECT_EQ(detach(receiver), -3);
}

// Threads that register a receiver and end without letting go: each one's place is reclaimed,
// so the table never fills up in a process that lives on.
TEST_F(Library, PlacesOfEndedThreadsAreReclaimed) {
  for (int round = 0; round < 40; ++round) {
    int result = 1;
    std::thread([&] {
      HWND w = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
      result = attach(kCBTHookKind, w, 0, nullptr);
    }).join();
    ASSERT_EQ(result, 0) << "round " << round;
  }
}


// A registration made by another thread for this thread's window ends with that thread (which
// takes the hook along): the window can be registered anew, and is not reported as registered.
TEST_F(Library, RegistrationEndsWithTheThreadThatMadeIt) {
  HWND wnd = window_.get();
  int result = 1;
  std::thread([&] { result = attach(kCBTHookKind, wnd, 0, nullptr); }).join();
  ASSERT_EQ(result, 0);
  EXPECT_EQ(attach(kCBTHookKind, wnd, 0, nullptr), 0);
  EXPECT_EQ(detach(wnd), 0);
}
