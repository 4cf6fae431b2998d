// The library's shared receiver table under a hostile writer: every process the hook is
// injected into can write it, so what it holds must never send events anywhere but to the
// receiver windows that registered, and never to no window at all.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HookTestSupport.h"
#include "SharedTableAccess.h"
#include "core/HookKinds.h"
#include "core/HookResults.h"
#include "win/common/WideText.h"

namespace {

using AttachFn = int(WINAPI*)(int, HWND, int, HWND);
using DetachFn = int(WINAPI*)(HWND);

constexpr wchar_t kRecorderClass[] = L"RuvoHookTableRecorder";

bool IsHookMessage(UINT message) { return message >= WM_USER && message <= WM_USER + HCBT_SETFOCUS; }

// The hook messages a window received: how many of each code about each window.
struct Seen {
  std::map<std::pair<UINT, WPARAM>, int> counts;
  int total = 0;
};

LRESULT CALLBACK RecordProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsHookMessage(message)) {
    if (auto* seen = reinterpret_cast<Seen*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA))) {
      ++seen->counts[{message - WM_USER, wParam}];
      ++seen->total;
    }
    return 0;
  }
  return ::DefWindowProcW(wnd, message, wParam, lParam);
}

HWND MessageWindow(const wchar_t* cls = L"STATIC") {
  return ::CreateWindowExW(0, cls, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

// A message-only window of this thread that records the hook messages it gets.
class Recorder {
 public:
  Recorder() {
    static const ATOM registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &RecordProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = kRecorderClass;
      return ::RegisterClassW(&wc);
    }();
    if (registered) wnd_.reset(MessageWindow(kRecorderClass));
    if (wnd_) ::SetWindowLongPtrW(wnd_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen_));
  }
  HWND get() const { return wnd_.get(); }
  int Count(int code, HWND about) const {
    const auto found = seen_.counts.find({static_cast<UINT>(code), reinterpret_cast<WPARAM>(about)});
    return found == seen_.counts.end() ? 0 : found->second;
  }
  int Total() const { return seen_.total; }

 private:
  Seen seen_;
  UniqueWindow wnd_;
};

// Hook messages posted to window 0 arrive as thread messages of the posting (hooked) thread.
int TakeStrayMessages() {
  int stray = 0;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!msg.hwnd && IsHookMessage(msg.message))
      ++stray;
    else
      ::DispatchMessageW(&msg);
  }
  return stray;
}

// Serves this thread's messages for ms; answers how many hook messages were posted to no window.
int PumpCountingStray(DWORD ms) {
  int stray = 0;
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    stray += TakeStrayMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return stray + TakeStrayMessages();
}

// Creates and destroys windows of this thread, each of which the hooks report twice.
std::vector<HWND> MakeWindows(int count) {
  std::vector<HWND> made;
  for (int i = 0; i < count; ++i) {
    HWND wnd = MessageWindow();
    made.push_back(wnd);
    ::DestroyWindow(wnd);
  }
  return made;
}

std::wstring Value(HWND wnd) { return std::to_wstring(reinterpret_cast<UINT_PTR>(wnd)); }

// Starts hook_forger in `mode` about `window` (this thread's) and waits until it wrote the table.
std::unique_ptr<ChildProcess> StartForger(const std::wstring& mode, HWND window, int count) {
  const std::wstring name = L"RuvoHookForger" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                            std::to_wstring(::GetTickCount());
  UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  const std::wstring args = name + L" " + mode + L" " + Value(window) + L" " + std::to_wstring(::GetCurrentProcessId()) +
                            L" " + std::to_wstring(::GetCurrentThreadId()) + L" " + std::to_wstring(count);
  auto forger = std::make_unique<ChildProcess>(ExeDirectory() + L"hook_forger.exe", args,
                                               ChildProcess::Options{.captureOutput = true});
  if (!forger->Valid()) return nullptr;
  HANDLE waits[] = {ready.get(), forger->Handle()};
  if (::WaitForMultipleObjects(2, waits, FALSE, 20000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "forger did not get ready, exit " << forger->ExitCode() << ": " << forger->Output();
    return nullptr;
  }
  return forger;
}

// The number of slots the forger reports it wrote.
int SlotsWritten(ChildProcess& forger) {
  const std::string out = forger.Output();
  int count = 0;
  for (size_t at = out.find("slots:"); at != std::string::npos && at < out.size(); ++at)
    if (out[at] == ' ' && at + 1 < out.size() && out[at + 1] >= '0' && out[at + 1] <= '9') ++count;
  return count;
}

class Table : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryW((ExeDirectory() + L"RuvoSearch.dll").c_str()));
    ASSERT_TRUE(module_);
    attach = reinterpret_cast<AttachFn>(::GetProcAddress(module_.get(), "AttachReceiver"));
    detach = reinterpret_cast<DetachFn>(::GetProcAddress(module_.get(), "DetachReceiver"));
    ASSERT_TRUE(attach && detach);
    ASSERT_TRUE(SharedSlots(module_.get()));
  }

  UniqueModule module_;
  AttachFn attach = nullptr;
  DetachFn detach = nullptr;
};

}  // namespace

// The forger holds hooks of its own (real registrations) and rewrites their slots; this thread's
// window events run through those hooks here. Only the real receiver may hear of them, once each.
TEST_F(Table, ForgedSlotsSendNoEventToAnyOtherWindow) {
  for (const std::wstring mode : {L"redirect", L"mismatch", L"zero", L"copy"}) {
    SCOPED_TRACE(std::string(mode.begin(), mode.end()));
    Recorder receiver, victim;
    ASSERT_TRUE(receiver.get() && victim.get());
    ASSERT_EQ(attach(kCBTHookKind, receiver.get(), 0, nullptr), 0);
    auto forger = StartForger(mode, mode == L"copy" ? receiver.get() : victim.get(), 3);
    ASSERT_TRUE(forger);
    EXPECT_EQ(SlotsWritten(*forger), 3) << forger->Output();

    const std::vector<HWND> made = MakeWindows(5);
    EXPECT_EQ(PumpCountingStray(300), 0) << "hook messages posted to window 0";
    EXPECT_EQ(victim.Total(), 0);
    for (HWND wnd : made) {
      EXPECT_EQ(receiver.Count(HCBT_CREATEWND, wnd), 1);
      EXPECT_EQ(receiver.Count(HCBT_DESTROYWND, wnd), 1);
    }
    forger->Kill();
    EXPECT_EQ(detach(receiver.get()), 0);
  }
}

// Forged, copied or half-written slots hold no registration: a new receiver takes their place,
// and every receiver still hears each event once.
TEST_F(Table, ForgedSlotsDoNotFillTheTable) {
  for (const std::wstring mode : {L"fill", L"fillcopy", L"stuck"}) {
    SCOPED_TRACE(std::string(mode.begin(), mode.end()));
    Recorder first, second, third;
    ASSERT_EQ(attach(kCBTHookKind, first.get(), 0, nullptr), 0);
    auto forger = StartForger(mode, first.get(), 0);
    ASSERT_TRUE(forger);
    EXPECT_GE(SlotsWritten(*forger), receiver_table::kCapacity - 1) << forger->Output();

    EXPECT_EQ(attach(kCBTHookKind, second.get(), 0, nullptr), 0);
    EXPECT_EQ(attach(kCBTHookKind, third.get(), 0, nullptr), 0);
    const std::vector<HWND> made = MakeWindows(2);
    EXPECT_EQ(PumpCountingStray(300), 0);
    for (const Recorder* r : {&first, &second, &third})
      for (HWND wnd : made) EXPECT_EQ(r->Count(HCBT_CREATEWND, wnd), 1);
    forger->Kill();
    for (const Recorder* r : {&first, &second, &third}) EXPECT_EQ(detach(r->get()), 0);
  }
}

// A killed receiver process leaves its slots to the next receivers. Under Wine its hooks stay
// too (Wine removes a global hook with its thread only for the low-level kinds), so the slots'
// procedures run twice per event: the receivers still hear each event once.
TEST_F(Table, ReceiversInPlacesOfAKilledProcessHearEachEventOnce) {
  const std::wstring name = L"RuvoHookTableKilled" + std::to_wstring(::GetCurrentProcessId());
  UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ChildProcess holder(ExeDirectory() + L"hook_holder.exe", name + L" 4", {.captureOutput = true});
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
  holder.Kill();
  Recorder receivers[4];
  for (const Recorder& r : receivers) ASSERT_EQ(attach(kCBTHookKind, r.get(), 0, nullptr), 0);
  const std::vector<HWND> made = MakeWindows(3);
  EXPECT_EQ(PumpCountingStray(300), 0);
  for (const Recorder& r : receivers)
    for (HWND wnd : made) {
      EXPECT_EQ(r.Count(HCBT_CREATEWND, wnd), 1);
      EXPECT_EQ(r.Count(HCBT_DESTROYWND, wnd), 1);
    }
  for (const Recorder& r : receivers) EXPECT_EQ(detach(r.get()), 0);
}

// A live process's sound registrations are kept even when the table is full; its places come
// free once it is gone.
TEST_F(Table, SoundRegistrationsAreKeptUntilTheirProcessEnds) {
  Recorder receiver;
  // Fill the table with real registrations of another process.
  const std::wstring name = L"RuvoHookTableHolder" + std::to_wstring(::GetCurrentProcessId());
  UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ChildProcess holder(ExeDirectory() + L"hook_holder.exe", name + L" 16", {.captureOutput = true});
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
  EXPECT_EQ(attach(kCBTHookKind, receiver.get(), 0, nullptr), kHookTooManyReceivers);
  holder.Kill();
  EXPECT_EQ(attach(kCBTHookKind, receiver.get(), 0, nullptr), 0);
  EXPECT_EQ(detach(receiver.get()), 0);
}

// Registrations made and ended (by detaching and by destroying the window) on one thread while
// another thread's window events run through their hooks: a slot read while it is released is
// passed over, never taken for a registration of window 0. The gap a release has to hit lies
// between two reads of the hook procedure, a few instructions, while each registration takes
// several server round trips under Wine, so this run rarely meets it. The "zero" case of
// ForgedSlotsSendNoEventToAnyOtherWindow offers a slot whose window reads 0 on every event.
TEST_F(Table, SlotsReleasedWhileForwardingNeverPostToNoWindow) {
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0}, refused{0}, stray{0};
  std::thread churn([&] {
    while (!stop) {
      HWND wnd = MessageWindow();
      if (attach(kCBTHookKind, wnd, 0, nullptr) != 0) ++refused;
      if (rounds % 2 == 0) detach(wnd);
      ::DestroyWindow(wnd);  // ends the registration when it was not detached
      stray += TakeStrayMessages();
      ++rounds;
    }
  });
  // At least 2 s and 100 registrations, at most 20 s.
  int made = 0;
  const DWORD start = ::GetTickCount();
  while ((::GetTickCount() - start < 2000 || rounds < 100) && ::GetTickCount() - start < 20000) {
    made += static_cast<int>(MakeWindows(10).size());
    stray += TakeStrayMessages();
  }
  stop = true;
  churn.join();
  stray += PumpCountingStray(200);
  std::printf("%d registrations made and ended beside %d windows\n", rounds.load(), made);
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(refused, 0);
  EXPECT_GE(rounds, 100);
}

// A slot caught in the middle of a write (its sequence odd) is never taken for a registration,
// even when what it holds so far looks whole; once the write completes it is used again.
TEST_F(Table, SlotBeingWrittenIsPassedOver) {
  Recorder receiver;
  ASSERT_EQ(attach(kCBTHookKind, receiver.get(), 0, nullptr), 0);
  receiver_table::Slot* slots = SharedSlots(module_.get());
  receiver_table::Slot* own = nullptr;
  for (int i = 0; i < receiver_table::kCapacity; ++i)
    if (slots[i].receiver == static_cast<DWORD>(reinterpret_cast<UINT_PTR>(receiver.get()))) own = &slots[i];
  ASSERT_TRUE(own);

  own->sequence = own->sequence + 1;
  const std::vector<HWND> during = MakeWindows(2);
  PumpFor(200);
  own->sequence = own->sequence + 1;
  const std::vector<HWND> after = MakeWindows(2);
  PumpFor(200);
  for (HWND wnd : during) EXPECT_EQ(receiver.Count(HCBT_CREATEWND, wnd), 0);
  for (HWND wnd : after) EXPECT_EQ(receiver.Count(HCBT_CREATEWND, wnd), 1);
  EXPECT_EQ(detach(receiver.get()), 0);
}
