// The one message pump: what each WM_QUIT rule does with a quit and with the messages queued
// around it, the caller's stop mark, and key translation.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "win/common/Handle.h"
#include "win/thread/MessagePump.h"

namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kSecond = WM_APP + 2;
constexpr UINT kAfter = WM_APP + 3;
constexpr int kExitCode = 7;

std::vector<UINT> g_seen;        // the recording window's own messages, in order
std::vector<wchar_t> g_typed;    // the characters it received

LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= WM_APP) g_seen.push_back(msg);
  if (msg == WM_CHAR) g_typed.push_back(static_cast<wchar_t>(wParam));
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

class MessagePumpTest : public testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_typed.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RuvoPumpTestWindow";
    ::RegisterClassW(&wc);
    window_.reset(::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                    nullptr));
    ASSERT_TRUE(window_);
  }
  // Nothing a test left queued, its quit included, reaches the next one.
  void TearDown() override {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  void Post(UINT msg) { ASSERT_TRUE(::PostMessageW(window_.get(), msg, 0, 0)); }
  // A quit in the order of the posted messages (PostQuitMessage's comes after all of them).
  static void PostQuitInOrder() {
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, kExitCode, 0));
  }
  bool Queued(UINT msg) {
    MSG m;
    return ::PeekMessageW(&m, window_.get(), msg, msg, PM_NOREMOVE) != FALSE;
  }
  static bool QuitQueued(WPARAM* exitCode = nullptr) {
    MSG m;
    if (!::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (exitCode) *exitCode = m.wParam;
    return true;
  }

  UniqueWindow window_;
};

TEST_F(MessagePumpTest, RepostRuleDispatchesWhatCameFirstAndLeavesTheQuitForTheOuterLoop) {
  Post(kFirst);
  Post(kSecond);
  PostQuitInOrder();
  Post(kAfter);
  EXPECT_TRUE(PumpMessages(TQuitRule::qrRepost));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst, kSecond}));
  // The outer loop: the message behind the quit, then the quit with its exit code.
  MSG msg;
  std::vector<UINT> outer;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    outer.push_back(msg.message);
    if (msg.message == WM_QUIT) break;
    ::DispatchMessageW(&msg);
  }
  EXPECT_EQ(outer, (std::vector<UINT>{kAfter, static_cast<UINT>(WM_QUIT)}));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(kExitCode));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst, kSecond, kAfter}));
}

TEST_F(MessagePumpTest, RepostRuleKeepsTheExitCodeOfPostQuitMessage) {
  Post(kFirst);
  ::PostQuitMessage(3);
  EXPECT_TRUE(PumpMessages(TQuitRule::qrRepost));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst}));
  WPARAM exitCode = 0;
  ASSERT_TRUE(QuitQueued(&exitCode));
  EXPECT_EQ(exitCode, 3u);
}

TEST_F(MessagePumpTest, StopRuleEndsAtTheQuitAndTakesIt) {
  Post(kFirst);
  PostQuitInOrder();
  Post(kAfter);
  EXPECT_TRUE(PumpMessages(TQuitRule::qrStop));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst}));
  EXPECT_FALSE(QuitQueued());
  EXPECT_TRUE(Queued(kAfter));
}

TEST_F(MessagePumpTest, IgnoreRuleDropsTheQuitAndGoesOn) {
  Post(kFirst);
  PostQuitInOrder();
  Post(kAfter);
  EXPECT_FALSE(PumpMessages(TQuitRule::qrIgnore));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst, kAfter}));
  EXPECT_FALSE(QuitQueued());
}

TEST_F(MessagePumpTest, EndsWhenTheQueueIsEmpty) {
  EXPECT_FALSE(PumpMessages(TQuitRule::qrStop));
  Post(kFirst);
  EXPECT_FALSE(PumpMessages(TQuitRule::qrStop));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst}));
  EXPECT_FALSE(Queued(kFirst));
}

TEST_F(MessagePumpTest, StopMarkIsAskedBeforeEachMessage) {
  Post(kFirst);
  Post(kSecond);
  PostQuitInOrder();
  EXPECT_FALSE(PumpMessages(TQuitRule::qrStop, [] { return !g_seen.empty(); }));
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst}));
  EXPECT_TRUE(Queued(kSecond));
  // Already set: nothing is taken, not even the quit.
  EXPECT_FALSE(PumpMessages(TQuitRule::qrStop, [] { return true; }));
  EXPECT_TRUE(Queued(kSecond));
  EXPECT_TRUE(QuitQueued());
}

TEST_F(MessagePumpTest, KeysAreTranslatedIntoCharacters) {
  constexpr LPARAM kScanCodeA = 0x1E << 16;
  ASSERT_TRUE(::PostMessageW(window_.get(), WM_KEYDOWN, 'A', kScanCodeA | 1));
  EXPECT_FALSE(PumpMessages(TQuitRule::qrStop));
  ASSERT_EQ(g_typed.size(), 1u);
  EXPECT_EQ(::towlower(g_typed[0]), L'a');
}

}  // namespace
