// The receiver against test libraries whose answers are known: loading, errors, sharing and
// the decoding of hook messages sent straight to the listener window.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "HookTestSupport.h"
#include "win/common/ApplicationException.h"
#include "win/common/WideText.h"
#include "win/hook/HookLibraryLoader.h"
#include "win/hook/TCBTHookReceiver.h"
#include "win/hook/UtilityWindow.h"

namespace {

std::wstring Bin(const wchar_t* name) { return ExeDirectory() + name; }

bool ClassRegistered() {
  WNDCLASSW wc;
  return ::GetClassInfoW(::GetModuleHandleW(nullptr), L"QvrUtilWindow", &wc) != 0;
}

void SetAttachResult(int value) {
  ::SetEnvironmentVariableW(L"RUVO_HOOK_ATTACH_RESULT", std::to_wstring(value).c_str());
}

void ExpectInactiveAndClean(const TCBTHookReceiver& r) {
  EXPECT_FALSE(r.Active());
  EXPECT_EQ(r.Handle(), nullptr);
  EXPECT_FALSE(HookLibraryLoaded());
  EXPECT_EQ(HookLibraryReferences(), 0);
  EXPECT_EQ(LiveUtilityWindowCount(), 0);
  EXPECT_FALSE(ClassRegistered());
}

// A receiver on the test library that accepts every registration, with every event recorded.
class Recorder {
 public:
  Recorder() {
    SetAttachResult(0);
    r.SetHookDLL(Bin(L"hook_refuse.dll"));
    r.SetHookedWnd(reinterpret_cast<HWND>(0x1234));
    r.OnHookMessage = [this](TSysHookReceiver&, MSG& m, bool& handled) {
      hookMsgs.push_back(m);
      handled = handleInHookMessage;
    };
    r.OnUnfiltered = [this](TSysHookReceiver&, int32_t code, int32_t, int32_t, bool& handled) {
      unfiltered.push_back(code);
      handled = handleInUnfiltered;
    };
    auto log = [this](std::wstring s) { events.push_back(std::move(s)); };
    auto h = [](HWND w) { return std::to_wstring(reinterpret_cast<UINT_PTR>(w)); };
    r.OnMoveSize = [=](TCBTHookReceiver&, HWND w) { log(L"movesize " + h(w)); };
    r.OnMinMax = [=](TCBTHookReceiver&, HWND w, uint16_t show) { log(L"minmax " + h(w) + L" " + std::to_wstring(show)); };
    r.OnQueueSync = [=](TCBTHookReceiver&) { log(L"qs"); };
    r.OnCreateWnd = [=](TCBTHookReceiver&, HWND w) { log(L"create " + h(w)); };
    r.OnDestroyWnd = [=](TCBTHookReceiver&, HWND w) { log(L"destroy " + h(w)); };
    r.OnActivate = [=](TCBTHookReceiver&, HWND a, HWND b) { log(L"activate " + h(a) + L" " + h(b)); };
    r.OnClickSkipped = [=](TCBTHookReceiver&, HWND w, int32_t m) { log(L"click " + h(w) + L" " + std::to_wstring(m)); };
    r.OnKeySkipped = [=](TCBTHookReceiver&, int32_t vk, uint16_t repeat, uint8_t scan, bool ext, bool alt, bool was,
                         bool pressed) {
      log(L"key " + std::to_wstring(vk) + L" " + std::to_wstring(repeat) + L" " + std::to_wstring(scan) + L" " +
          std::to_wstring(ext) + std::to_wstring(alt) + std::to_wstring(was) + std::to_wstring(pressed));
    };
    r.OnSysCommand = [=](TCBTHookReceiver&, int32_t c) { log(L"syscommand " + std::to_wstring(c)); };
    r.OnSetFocus = [=](TCBTHookReceiver&, HWND a, HWND b) { log(L"setfocus " + h(a) + L" " + h(b)); };
  }
  LRESULT Send(UINT msg, WPARAM w, LPARAM l) { return ::SendMessageW(r.Handle(), msg, w, l); }

  TCBTHookReceiver r;
  std::vector<MSG> hookMsgs;
  std::vector<int32_t> unfiltered;
  std::vector<std::wstring> events;
  bool handleInHookMessage = false;
  bool handleInUnfiltered = false;
};

}  // namespace

TEST(HookErrorText, TextsOfEveryCode) {
  EXPECT_EQ(HookErrorText(0), L"No error.");
  EXPECT_EQ(HookErrorText(-1), L"DLL doesn't export all required functions.");
  EXPECT_EQ(HookErrorText(-2), L"Receiver already registered.");
  EXPECT_EQ(HookErrorText(-3), L"Receiver not registered.");
  EXPECT_EQ(HookErrorText(-4), L"Too many receivers.");
  EXPECT_EQ(HookErrorText(-5), L"System hook already installed.");
  EXPECT_EQ(HookErrorText(-6), L"Unknown error -6");
  EXPECT_EQ(HookErrorText(-9), L"Unknown error -9");
  EXPECT_EQ(HookErrorText(5), SystemErrorMessage(5));
  EXPECT_FALSE(HookErrorText(5).empty());
}

TEST(SysHookReceiver, StartFailuresLeaveNothingBehind) {
  TCBTHookReceiver r;
  EXPECT_EQ(r.Start(), L"Cannot activate hook because DLL name is not set.");
  ExpectInactiveAndClean(r);

  r.SetHookDLL(Bin(L"no_such_hook.dll"));
  const std::wstring missing = r.Start();
  EXPECT_EQ(missing, SystemErrorMessage(ERROR_MOD_NOT_FOUND));
  ExpectInactiveAndClean(r);

  r.SetHookDLL(Bin(L"hook_noexport.dll"));
  EXPECT_EQ(r.Start(), L"DLL doesn't export all required functions.");
  ExpectInactiveAndClean(r);
  EXPECT_EQ(::GetModuleHandleW(L"hook_noexport.dll"), nullptr);  // released again
}

TEST(SysHookReceiver, RefusedRegistrationsGiveTheirTexts) {
  struct Case {
    int answer;
    std::wstring text;
  };
  const Case cases[] = {{-4, L"Too many receivers."}, {-9, L"Unknown error -9"}, {5, SystemErrorMessage(5)},
                        {-2, L"Receiver already registered."}};
  for (const Case& c : cases) {
    SetAttachResult(c.answer);
    TCBTHookReceiver r;
    r.SetHookDLL(Bin(L"hook_refuse.dll"));
    EXPECT_EQ(r.Start(), c.text) << c.answer;
    ExpectInactiveAndClean(r);
  }
  SetAttachResult(0);
}

TEST(SysHookReceiver, RetriesWithDllExtension) {
  SetAttachResult(0);
  for (const wchar_t* name : {L"hook_refuse.bin", L"hook_refuse", L"HOOK_REFUSE.DLL"}) {
    TCBTHookReceiver r;
    r.SetHookDLL(Bin(name));
    EXPECT_EQ(r.Start(), L"") << name;
    EXPECT_TRUE(r.Active());
    r.Stop();
    ExpectInactiveAndClean(r);
  }
  TCBTHookReceiver r;
  r.SetHookDLL(Bin(L"no_such_hook.bin"));  // neither name exists
  EXPECT_FALSE(r.Start().empty());
  ExpectInactiveAndClean(r);
}

TEST(SysHookReceiver, StartWhenActiveChangesNothing) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  const HWND listener = rec.r.Handle();
  EXPECT_NE(listener, nullptr);
  EXPECT_EQ(HookLibraryReferences(), 1);
  EXPECT_EQ(rec.r.Start(), L"");
  EXPECT_EQ(HookLibraryReferences(), 1);
  EXPECT_EQ(rec.r.Handle(), listener);
  EXPECT_EQ(LiveUtilityWindowCount(), 1);
  rec.r.Stop();
  rec.r.Stop();  // a second Stop is harmless
  ExpectInactiveAndClean(rec.r);
  EXPECT_FALSE(::IsWindow(listener));
}

TEST(SysHookReceiver, TwoReceiversShareOneLoad) {
  SetAttachResult(0);
  TCBTHookReceiver a, b;
  a.SetHookDLL(Bin(L"hook_refuse.dll"));
  b.SetHookDLL(Bin(L"hook_noexport.dll"));  // not compared once loaded
  ASSERT_EQ(a.Start(), L"");
  ASSERT_EQ(b.Start(), L"");
  EXPECT_EQ(HookLibraryReferences(), 2);
  EXPECT_EQ(LiveUtilityWindowCount(), 2);
  EXPECT_NE(a.Handle(), b.Handle());
  a.Stop();
  EXPECT_TRUE(HookLibraryLoaded());
  EXPECT_TRUE(ClassRegistered());
  EXPECT_NE(::GetModuleHandleW(L"hook_refuse.dll"), nullptr);
  {
    TCBTHookReceiver c;  // destruction stops it
    c.SetHookDLL(Bin(L"hook_refuse.dll"));
    ASSERT_EQ(c.Start(), L"");
    EXPECT_EQ(HookLibraryReferences(), 2);
  }
  EXPECT_EQ(HookLibraryReferences(), 1);
  b.Stop();
  ExpectInactiveAndClean(b);
  EXPECT_EQ(::GetModuleHandleW(L"hook_refuse.dll"), nullptr);
}

TEST(SysHookReceiver, ReplacesAForeignUtilityClass) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvrUtilWindow";
  ASSERT_TRUE(::RegisterClassW(&wc));
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  rec.Send(WM_USER + HCBT_QS, 0, 0);
  EXPECT_EQ(rec.events, std::vector<std::wstring>{L"qs"});
  rec.r.Stop();
  ExpectInactiveAndClean(rec.r);
}

TEST(SysHookReceiver, NameAndHookDllWhileActive) {
  Recorder rec;
  EXPECT_EQ(rec.r.ReceiverName(), L"TCBTHookReceiver");
  rec.r.SetName(L"ProbeReceiver");
  EXPECT_EQ(rec.r.ReceiverName(), L"ProbeReceiver");
  ASSERT_EQ(rec.r.Start(), L"");
  std::wstring boxText;
  std::thread closer([&] { boxText = CloseMessageBox(L"ProbeReceiver", ::GetCurrentProcessId(), 10000); });
  rec.r.SetHookDLL(Bin(L"other.dll"));
  closer.join();
  EXPECT_EQ(boxText, L"DLL name cannot be set while hook is active!");
  EXPECT_EQ(rec.r.HookDLL(), Bin(L"hook_refuse.dll"));
  rec.r.Stop();
  rec.r.SetHookDLL(Bin(L"other.dll"));
  EXPECT_EQ(rec.r.HookDLL(), Bin(L"other.dll"));
}

TEST(CBTHookReceiver, DecodesEveryCode) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  struct Case {
    int code;
    WPARAM w;
    LPARAM l;
    std::wstring event;
  };
  const Case cases[] = {
      {HCBT_MOVESIZE, 0x111, 0, L"movesize 273"},
      {HCBT_MINMAX, 0x112, 0x7FFF0006, L"minmax 274 6"},
      {HCBT_QS, 0, 0, L"qs"},
      {HCBT_CREATEWND, 0x113, 0, L"create 275"},
      {HCBT_DESTROYWND, 0xFFFF0114, 0, L"destroy 4294902036"},
      {HCBT_ACTIVATE, 0x115, 0x116, L"activate 277 278"},
      {HCBT_CLICKSKIPPED, WM_LBUTTONDOWN, 0x117, L"click 279 513"},
      {HCBT_KEYSKIPPED, 0x41, static_cast<LPARAM>(0xC0150001), L"key 65 1 21 0010"},
      {HCBT_KEYSKIPPED, 0x2E, static_cast<LPARAM>(0x21530003), L"key 46 3 83 1101"},
      {HCBT_SYSCOMMAND, SC_MINIMIZE, 0, L"syscommand 61472"},
      {HCBT_SETFOCUS, 0x118, 0x119, L"setfocus 280 281"},
  };
  for (const Case& c : cases) {
    rec.events.clear();
    rec.unfiltered.clear();
    EXPECT_EQ(rec.Send(WM_USER + c.code, c.w, c.l), 0);
    EXPECT_EQ(rec.events, std::vector<std::wstring>{c.event}) << c.code;
    EXPECT_EQ(rec.unfiltered, std::vector<int32_t>{c.code});
  }
}

TEST(CBTHookReceiver, UnknownCodeOnlyReachesRawEvents) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  const DWORD before = ::GetTickCount();
  EXPECT_EQ(rec.Send(WM_USER + 12, 1, 2), 0);
  ASSERT_EQ(rec.hookMsgs.size(), 1u);
  EXPECT_EQ(rec.hookMsgs[0].message, static_cast<UINT>(WM_USER + 12));
  EXPECT_EQ(rec.hookMsgs[0].hwnd, reinterpret_cast<HWND>(0x1234));  // the hooked window
  EXPECT_EQ(rec.hookMsgs[0].wParam, 1u);
  EXPECT_EQ(rec.hookMsgs[0].lParam, 2);
  // Unsigned: a time before `before` wraps to a huge difference and fails too.
  EXPECT_LE(rec.hookMsgs[0].time - before, 5000u);
  EXPECT_EQ(rec.unfiltered, std::vector<int32_t>{12});
  EXPECT_TRUE(rec.events.empty());

  rec.hookMsgs.clear();
  rec.Send(WM_NULL, 0, 0);  // system messages carry the listener window
  ASSERT_EQ(rec.hookMsgs.size(), 1u);
  EXPECT_EQ(rec.hookMsgs[0].hwnd, rec.r.Handle());
  EXPECT_EQ(rec.unfiltered.size(), 1u);
}

TEST(CBTHookReceiver, HandledStopsDecoding) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  rec.handleInHookMessage = true;
  EXPECT_EQ(rec.Send(WM_USER + HCBT_CREATEWND, 0x10, 0), 0);
  EXPECT_EQ(rec.hookMsgs.size(), 1u);
  EXPECT_TRUE(rec.unfiltered.empty());
  EXPECT_TRUE(rec.events.empty());

  rec.handleInHookMessage = false;
  rec.handleInUnfiltered = true;
  rec.Send(WM_USER + HCBT_CREATEWND, 0x10, 0);
  EXPECT_EQ(rec.unfiltered, std::vector<int32_t>{HCBT_CREATEWND});
  EXPECT_TRUE(rec.events.empty());

  rec.handleInUnfiltered = false;
  rec.Send(WM_USER + HCBT_CREATEWND, 0x10, 0);
  EXPECT_EQ(rec.events, std::vector<std::wstring>{L"create 16"});
}

TEST(CBTHookReceiver, HandlerErrorsGoToTheApplicationHandler) {
  std::vector<std::wstring> reported;
  auto previous = SetApplicationExceptionHandler([&](std::exception_ptr e) { reported.push_back(ExceptionText(e)); });
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  rec.r.OnSetFocus = [](TCBTHookReceiver&, HWND, HWND) { throw std::runtime_error("focus handler failed"); };
  EXPECT_EQ(rec.Send(WM_USER + HCBT_SETFOCUS, 1, 2), 0);
  EXPECT_EQ(reported, std::vector<std::wstring>{L"focus handler failed"});
  rec.Send(WM_USER + HCBT_CREATEWND, 3, 0);  // the window keeps working
  EXPECT_EQ(rec.events, std::vector<std::wstring>{L"create 3"});
  SetApplicationExceptionHandler(previous);
}

TEST(CBTHookReceiver, EventsRunOnTheReceiversThreadForPostedMessages) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  DWORD eventThread = 0;
  rec.r.OnCreateWnd = [&](TCBTHookReceiver&, HWND) { eventThread = ::GetCurrentThreadId(); };
  HWND listener = rec.r.Handle();
  std::thread([listener] { ::PostMessageW(listener, WM_USER + HCBT_CREATEWND, 5, 0); }).join();
  EXPECT_TRUE(WaitUntil([&] { return eventThread != 0; }, 5000));
  EXPECT_EQ(eventThread, ::GetCurrentThreadId());
}

TEST(UtilityWindow, TheDestructionsOwnMessagesDoNotReachTheTarget) {
  struct Target {
    static void Handle(void* object, TMessage&) { ++*static_cast<int*>(object); }
  };
  int calls = 0;
  HWND w = AllocateUtilityWindow({&Target::Handle, &calls});
  ::SendMessageW(w, WM_NULL, 0, 0);
  ASSERT_GE(calls, 1);
  calls = 0;
  DeallocateUtilityWindow(w);  // WM_DESTROY and WM_NCDESTROY would reach a target already gone
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(::IsWindow(w));
}

TEST(SysHookReceiver, StoppingSendsNoEventToItsOwner) {
  Recorder rec;
  ASSERT_EQ(rec.r.Start(), L"");
  rec.Send(WM_NULL, 0, 0);
  ASSERT_EQ(rec.hookMsgs.size(), 1u);
  rec.r.Stop();  // an owner stops its receiver while its own members are being destroyed
  EXPECT_EQ(rec.hookMsgs.size(), 1u);
}

TEST(UtilityWindow, WindowsFromSeveralThreadsKeepTheCount) {
  struct Target {
    static void Handle(void* object, TMessage& m) {
      if (m.Msg == WM_USER) {
        ++*static_cast<std::atomic<int>*>(object);
        m.Result = 42;
      }
    }
  };
  std::atomic<int> calls{0};
  std::vector<std::thread> threads;
  std::atomic<int> answers{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        HWND w = AllocateUtilityWindow({&Target::Handle, &calls});
        if (::SendMessageW(w, WM_USER, 0, 0) == 42) ++answers;
        DeallocateUtilityWindow(w);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(calls.load(), 100);
  EXPECT_EQ(answers.load(), 100);
  EXPECT_EQ(LiveUtilityWindowCount(), 0);
  EXPECT_FALSE(ClassRegistered());
}
