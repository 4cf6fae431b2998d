// The Explorer integration's speed against the real service on a 100,000-entry tree and the
// stand-in Explorer: milliseconds from the end of the typing pause to the first row, items
// per second into the list for answers of 1,000 and 10,000 items beside the raw pipe
// round-trip rate, and the working set and CPU time with 10 hooked windows. Asserts nothing.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "../../fixtures/shell_standin/ShellStandIn.h"
#include "ExplorerTestSupport.h"
#include "HookThreadProbe.h"
#include "app/MainForm.h"
#include "win/resultview/ListViewEx.h"
#include "RoundTrips.h"

using namespace explorer_test;
namespace {

// Serves this thread as the program's main loop does (woken at once by queued synchronised
// calls and by messages) until pred holds or ms have passed.
bool WaitUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = ::GetTickCount();
  const HANDLE queued = MainThread::QueueEvent();
  for (;;) {
    if (pred()) return true;
    if (::GetTickCount() - start >= ms) return false;
    ::MsgWaitForMultipleObjects(1, &queued, FALSE, 5, QS_ALLINPUT);
    MainThread::CheckSynchronize();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

constexpr int kTreeEntries = 100000;
constexpr int kSmallAnswer = 1000;
constexpr int kLargeAnswer = 10000;

std::wstring TreeDir() {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + L"ruvo-bench-tree\\";
}

// 1,000 "alpha" files, 10,000 "beta" files and the rest "other", in folders of 1,000.
void MakeTree(const std::wstring& dir) {
  if (::GetFileAttributesW((dir + L"done").c_str()) != INVALID_FILE_ATTRIBUTES) return;
  ::CreateDirectoryW(dir.c_str(), nullptr);
  for (int i = 0; i < kTreeEntries; ++i) {
    const std::wstring folder = dir + L"d" + std::to_wstring(i / 1000) + L"\\";
    if (i % 1000 == 0) ::CreateDirectoryW(folder.c_str(), nullptr);
    const wchar_t* stem = i < kSmallAnswer ? L"alpha_" : i < kSmallAnswer + kLargeAnswer ? L"beta_" : L"other_";
    HANDLE f = ::CreateFileW((folder + stem + std::to_wstring(i) + L".dat").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) ::CloseHandle(f);
  }
  std::ofstream((dir + L"done").c_str()) << "1";
}

std::wstring FileUrl(const std::wstring& dir) {
  std::wstring url = L"file:///" + dir;
  for (wchar_t& c : url)
    if (c == L'\\') c = L'/';
  return url;
}

double WorkingSetMb() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.WorkingSetSize / (1024.0 * 1024.0);
}

// CPU milliseconds this process spends over `ms` of idling (serving its messages).
double IdleCpuMs(DWORD ms) {
  FILETIME c, e, k0, u0, k1, u1;
  ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k0, &u0);
  WaitUntil([] { return false; }, ms);
  ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ticks = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return ((ticks(k1) - ticks(k0)) + (ticks(u1) - ticks(u0))) / 10000.0;
}

}  // namespace

int main() {
  MainThread::Init();
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (!RegisterShellStandIn(ExeDirectory())) {
    std::printf("explorer_bench: the shell stand-in cannot be registered\n");
    return 1;
  }
  const std::wstring dir = TreeDir();
  const DWORD treeStart = ::GetTickCount();
  MakeTree(dir);
  std::printf("tree of %d entries ready in %lu ms\n", kTreeEntries, ::GetTickCount() - treeStart);
  testing_support::ChildProcess service(ExeDirectory() + L"RuvoService.exe", L"/console /root \"" + dir + L".\"");
  WaitUntil([] { return ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 1) != FALSE; }, 60000);
  WaitUntil([] { return false; }, 3000);  // the index is built

  const double rawRate = bench_support::RawRoundTripsPerSecond(false).client;
  const double idleNone = IdleCpuMs(3000);
  const double setNone = WorkingSetMb();

  THookThreadProbe thread;
  // The main thread's share of each item: the list's handler, timed.
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  LONGLONG handlerTicks = 0;
  long handled = 0;
  // When a list first held a row: the pump that waits for it below serves the whole stream of
  // items before it looks again.
  DWORD firstRowTick = 0;
  thread.OnAddSearchResult = [&](THookThread* sender, PWindowRec r, const std::u16string& fileName,
                                 const std::u16string& wildcard, const std::u16string& match) {
    LARGE_INTEGER a, b;
    ::QueryPerformanceCounter(&a);
    TfrmRuvoSearch::AddSearchResult(sender, r, fileName, wildcard, match);
    ::QueryPerformanceCounter(&b);
    handlerTicks += b.QuadPart - a.QuadPart;
    ++handled;
    if (!firstRowTick && r && r->ResultView && r->ResultView->Count() > 0) firstRowTick = ::GetTickCount();
  };
  thread.CBTHook().Start();
  thread.Start();
  std::wstring args;
  for (int i = 0; i < 10; ++i) args += L" \"w" + std::to_wstring(i) + L"|" + FileUrl(dir) + L"\"";
  StandIn standIn(args);
  HWND top = standIn.Window(L"w9");
  HWND first = standIn.Window(L"w0");
  WaitUntil([&] { return thread.WindowList().Count() == 10 && thread.Inited(top) && thread.Inited(first); }, 20000);
  WaitUntil([] { return false; }, 1000);
  const double setTen = WorkingSetMb();
  const double idleTen = IdleCpuMs(3000);

  TWindowRec* rec = thread.Record(top);
  ::SetForegroundWindow(top);
  ClickCentre(SearchBoxOf(top));
  WaitUntil([&] { return rec->Edit->Visible(); }, 5000);

  // From the end of the typing pause to the first row in the list.
  TypeText(L"alpha");
  // The pause runs from the last letter the edit took, which the input queue may hand over
  // well after SendInput returns.
  WaitUntil([&] { return rec->Edit->Text() == u"alpha"; }, 5000);
  const DWORD typed = ::GetTickCount();
  firstRowTick = 0;
  WaitUntil([&] { return rec->ResultView && rec->ResultView->Count() > 0; }, 10000);
  // -1: no row within the wait.
  const long firstRow = firstRowTick ? static_cast<long>(firstRowTick - typed) - 500 : -1;
  WaitUntil([&] { return rec->ResultView->Count() == static_cast<std::size_t>(kSmallAnswer); }, 20000);
  const double smallRate = kSmallAnswer * 1000.0 / (::GetTickCount() - typed - 500);

  for (int i = 0; i < 5; ++i) PressKey(VK_BACK);
  TypeText(L"beta");
  PressKey(VK_RETURN);
  const DWORD sent = ::GetTickCount();
  WaitUntil([&] { return rec->ResultView->Count() == static_cast<std::size_t>(kLargeAnswer); }, 60000);
  const double largeRate = rec->ResultView->Count() * 1000.0 / (::GetTickCount() - sent);

  std::printf("first row after the typing pause: %ld ms (goal < 30)\n", firstRow);
  std::printf("intake from the query sent to the last row, %d items: %.0f items/s; %d items: %.0f items/s (%zu arrived); raw pipe round trips: %.0f/s "
              "(goal: intake >= 0.8 x raw)\n",
              kSmallAnswer, smallRate, kLargeAnswer, largeRate, rec->ResultView->Count(), rawRate);
  std::printf("main thread in the list's handler: %.2f ms per item over %ld items\n",
              handled ? handlerTicks * 1000.0 / frequency.QuadPart / handled : 0.0, handled);
  std::printf("working set: %.1f MB without hooked windows, %.1f MB with 10\n", setNone, setTen);
  std::printf("idle CPU over 3 s: %.0f ms without hooked windows, %.0f ms with 10\n", idleNone, idleTen);
  thread.StopAndWait();
  return 0;
}
