// RuvoSearch.dll and the receiver together, with the windows of a second process.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "HookTestSupport.h"
#include "win/common/WideText.h"
#include "win/hook/HookLibraryLoader.h"
#include "win/hook/TCBTHookReceiver.h"

namespace {

std::wstring HookDll() { return ExeDirectory() + L"RuvoSearch.dll"; }

struct Event {
  std::string text;
  DWORD thread;
};

// A receiver on the real library that records the events about the given windows.
class Watcher {
 public:
  Watcher() {
    r.SetHookDLL(HookDll());
    auto h = [](HWND w) { return std::to_string(reinterpret_cast<UINT_PTR>(w)); };
    r.OnCreateWnd = [=, this](TCBTHookReceiver&, HWND w) { Log("create " + h(w)); };
    r.OnDestroyWnd = [=, this](TCBTHookReceiver&, HWND w) { Log("destroy " + h(w)); };
    r.OnActivate = [=, this](TCBTHookReceiver&, HWND a, HWND) { Log("activate " + h(a)); };
    r.OnSetFocus = [=, this](TCBTHookReceiver&, HWND a, HWND) { Log("setfocus " + h(a)); };
    r.OnMinMax = [=, this](TCBTHookReceiver&, HWND w, uint16_t s) { Log("minmax " + h(w) + " " + std::to_string(s)); };
    r.OnMoveSize = [=, this](TCBTHookReceiver&, HWND w) { Log("movesize " + h(w)); };
    r.OnSysCommand = [=, this](TCBTHookReceiver&, int32_t c) { Log("syscommand " + std::to_string(c)); };
    r.OnClickSkipped = [=, this](TCBTHookReceiver&, HWND w, int32_t m) { Log("click " + h(w) + " " + std::to_string(m)); };
    r.OnKeySkipped = [=, this](TCBTHookReceiver&, int32_t vk, uint16_t, uint8_t, bool, bool, bool, bool pressed) {
      Log("key " + std::to_string(vk) + (pressed ? " down" : " up"));
    };
  }
  void Log(std::string text) { events.push_back({std::move(text), ::GetCurrentThreadId()}); }
  bool Saw(const std::string& text) const {
    for (const Event& e : events)
      if (e.text == text) return true;
    return false;
  }
  // True when `expected` occurs in order within the events (other events in between).
  bool SawInOrder(const std::vector<std::string>& expected, std::string& missing) const {
    size_t next = 0;
    for (const Event& e : events)
      if (next < expected.size() && e.text == expected[next]) ++next;
    if (next < expected.size()) missing = expected[next];
    return next == expected.size();
  }

  TCBTHookReceiver r;
  std::vector<Event> events;
};

struct ActorWindows {
  unsigned long main = 0;
  unsigned long edit = 0;
};

ActorWindows RunActor() {
  ChildProcess actor(ExeDirectory() + L"hook_actor.exe", L"script", {.captureOutput = true});
  ActorWindows w;
  if (!actor.Valid() || actor.Wait(40000) == -1) return w;
  PumpFor(300);  // events posted just before the actor ended
  std::sscanf(actor.Output().c_str(), "W=%lu E=%lu", &w.main, &w.edit);
  return w;
}

std::wstring UniqueName(const wchar_t* stem) {
  return std::wstring(stem) + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount());
}

// Starts hook_holder with `count` receivers and waits until they are registered.
std::unique_ptr<ChildProcess> StartHolder(int count, const wchar_t* mode = L"") {
  const std::wstring name = UniqueName(L"RuvoHookHolder");
  UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  auto holder = std::make_unique<ChildProcess>(ExeDirectory() + L"hook_holder.exe",
                                               name + L" " + std::to_wstring(count) + L" " + mode,
                                               ChildProcess::Options{.captureOutput = true});
  if (!holder->Valid() || ::WaitForSingleObject(ready.get(), 20000) != WAIT_OBJECT_0) return nullptr;
  return holder;
}

}  // namespace

TEST(HookEvents, SecondProcessWindowsReachTheReceiverInOrder) {
  Watcher w;
  ASSERT_EQ(w.r.Start(), L"");
  const ActorWindows actor = RunActor();
  w.r.Stop();
  ASSERT_NE(actor.main, 0u);
  const std::string W = std::to_string(actor.main), E = std::to_string(actor.edit);
  std::string missing;
  EXPECT_TRUE(w.SawInOrder({"create " + W, "create " + E, "activate " + W, "setfocus " + E,
                            "syscommand " + std::to_string(SC_MOVE), "movesize " + W,
                            "syscommand " + std::to_string(SC_MINIMIZE), "minmax " + W + " " + std::to_string(SW_MINIMIZE),
                            "destroy " + W},
                           missing))
      << "missing " << missing;
  for (const Event& e : w.events) EXPECT_EQ(e.thread, ::GetCurrentThreadId()) << e.text;
  // Input the actor's own hooks swallowed is reported as skipped.
  EXPECT_TRUE(w.Saw("click " + E + " " + std::to_string(WM_LBUTTONDOWN)));
  EXPECT_TRUE(w.Saw("key " + std::to_string('Q') + " down"));
}

TEST(HookEvents, StoppedReceiversFreeTheirPlaces) {
  // More start/stop rounds than the library has places: each stop must end its registration.
  for (int i = 0; i < 40; ++i) {
    TCBTHookReceiver r;
    r.SetHookDLL(HookDll());
    ASSERT_EQ(r.Start(), L"") << i;
  }
  EXPECT_FALSE(HookLibraryLoaded());
}

TEST(HookEvents, KilledReceiverProcessGivesUpItsPlacesAndOthersKeepTheirEvents) {
  auto holder = StartHolder(15);
  ASSERT_TRUE(holder);
  Watcher first;
  ASSERT_EQ(first.r.Start(), L"");
  Watcher second;
  EXPECT_EQ(second.r.Start(), L"Too many receivers.");
  EXPECT_FALSE(second.r.Active());

  holder->Kill();
  ASSERT_EQ(second.r.Start(), L"");  // the killed process's places were reclaimed

  const ActorWindows actor = RunActor();
  ASSERT_NE(actor.main, 0u);
  const std::string created = "create " + std::to_string(actor.main);
  const std::string destroyed = "destroy " + std::to_string(actor.main);
  EXPECT_TRUE(first.Saw(created));
  EXPECT_TRUE(first.Saw(destroyed));
  EXPECT_TRUE(second.Saw(created));
  EXPECT_TRUE(second.Saw(destroyed));
}

TEST(HookEvents, FullTableRefusesUntilItsHolderEnds) {
  auto holder = StartHolder(16);
  ASSERT_TRUE(holder);
  EXPECT_NE(holder->Output().find("start 15: ok"), std::string::npos) << holder->Output();
  Watcher w;
  EXPECT_EQ(w.r.Start(), L"Too many receivers.");
  holder->Kill();
  EXPECT_EQ(w.r.Start(), L"");
}

TEST(HookEvents, ProcessEndingWithTheLibraryLoadedWarns) {
  auto holder = StartHolder(1, L"leak");
  ASSERT_TRUE(holder);
  const DWORD pid = ::GetProcessId(holder->Handle());
  EXPECT_EQ(CloseMessageBox(L"SysHookLoader", pid, 15000), L"SysHook DLL was not unloaded!");
  EXPECT_NE(holder->Wait(15000), -1);
  EXPECT_EQ(holder->ExitCode(), 0u);
}
