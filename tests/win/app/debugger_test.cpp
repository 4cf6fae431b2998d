// Under a debugger the main form shows with its debug aids; its first button starts a timer
// that writes the window chain under the mouse to the debugger's output.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RequestRecorder.h"
#include "TestProcess.h"

using namespace testing_support;

namespace {

// Starts a process under this test as its debugger and collects its debug output. The debug
// loop runs on the thread that created the process, as the system requires.
class DebuggedProgram {
 public:
  explicit DebuggedProgram(const std::wstring& exe) {
    loop_ = std::thread([this, exe] { Run(exe); });
    WaitUntil([&] { return pid_.load() != 0 || ended_.load(); }, 10000);
  }
  ~DebuggedProgram() {
    stop_ = true;
    loop_.join();
  }
  DWORD Pid() const { return pid_; }
  bool Ended() const { return ended_; }
  std::vector<std::wstring> Output() {
    std::lock_guard<std::mutex> g(lock_);
    return output_;
  }

 private:
  void Run(const std::wstring& exe) {
    const ChildProcess process(exe, L"", {.creationFlags = DEBUG_ONLY_THIS_PROCESS});
    if (!process.Valid()) {
      ended_ = true;
      return;
    }
    pid_ = process.Pid();
    while (!ended_) {
      DEBUG_EVENT ev{};
      if (!::WaitForDebugEvent(&ev, 100)) {
        if (stop_) {
          ::TerminateProcess(process.Handle(), 1);
          stop_ = false;  // keep serving events until the exit arrives
        }
        continue;
      }
      DWORD status = DBG_CONTINUE;
      switch (ev.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
          Collect(process.Handle(), ev.u.DebugString);
          break;
        case EXCEPTION_DEBUG_EVENT:
          if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        case CREATE_PROCESS_DEBUG_EVENT:
          if (ev.u.CreateProcessInfo.hFile) ::CloseHandle(ev.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (ev.u.LoadDll.hFile) ::CloseHandle(ev.u.LoadDll.hFile);
          break;
        case EXIT_PROCESS_DEBUG_EVENT:
          ended_ = true;
          break;
      }
      ::ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    }
  }

  void Collect(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const std::size_t units = info.nDebugStringLength;
    if (units == 0 || units > 4096) return;
    std::wstring text;
    if (info.fUnicode) {
      text.resize(units);
      if (!::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * 2, nullptr)) return;
    } else {
      std::string narrow(units, '\0');
      if (!::ReadProcessMemory(process, info.lpDebugStringData, narrow.data(), units, nullptr)) return;
      text.assign(narrow.begin(), narrow.end());
    }
    while (!text.empty() && (text.back() == L'\0' || text.back() == L'\n')) text.pop_back();
    std::lock_guard<std::mutex> g(lock_);
    output_.push_back(text);
  }

  std::thread loop_;
  std::atomic<DWORD> pid_{0};
  std::atomic<bool> ended_{false};
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::wstring> output_;
};

BOOL CALLBACK VisitForText(HWND w, LPARAM lp) {
  auto* q = reinterpret_cast<std::pair<const wchar_t*, bool>*>(lp);
  wchar_t buf[256] = L"";
  // WM_GETTEXT reaches another process's edit controls, unlike GetWindowText.
  ::SendMessageTimeoutW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr);
  if (std::wstring(buf) == q->first) q->second = true;
  return !q->second;
}

HWND ChildButton(HWND form, const wchar_t* caption) {
  for (HWND c = ::GetWindow(form, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    if (WindowText(c) == caption) return c;
  return nullptr;
}

bool HasDescendantWithText(HWND root, const wchar_t* text) {
  std::pair<const wchar_t*, bool> q{text, false};
  ::EnumChildWindows(root, &VisitForText, reinterpret_cast<LPARAM>(&q));
  return q.second;
}

TEST(ProgramUnderADebugger, ShowsTheMainFormAndItsWindowChainTimer) {
  RequestRecorder service;  // without one the program would install the real service
  DebuggedProgram program(ExeDirectory() + L"RuvoSearch.exe");
  ASSERT_NE(program.Pid(), 0u);
  HWND form = WaitForProcessWindow(program.Pid(), L"TfrmRuvoSearch", 20000, true);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(WindowText(form), L"Ruvoso");
  HWND button1 = ChildButton(form, L"Button1");
  ASSERT_NE(button1, nullptr);
  EXPECT_NE(ChildButton(form, L"Button2"), nullptr);

  // Button1 toggles the timer; it then reports the chain from the window under the cursor.
  RECT r;
  ::GetWindowRect(form, &r);
  ::SetForegroundWindow(form);
  ::SetCursorPos(r.left + 20, r.top + 60);
  ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button1), BN_CLICKED), reinterpret_cast<LPARAM>(button1));
  const std::wstring dashes(56, L'-');
  auto sawChain = [&] {
    for (const auto& line : program.Output())
      if (line == dashes) return true;
    return false;
  };
  ASSERT_TRUE(WaitUntil(sawChain, 5000));
  const std::wstring formLine = std::to_wstring(reinterpret_cast<UINT_PTR>(form)) + L": TfrmRuvoSearch";
  bool sawForm = false;
  for (const auto& line : program.Output()) sawForm = sawForm || line == formLine;
  EXPECT_TRUE(sawForm) << "no line names the main form under the cursor";

  ::PostMessageW(form, WM_CLOSE, 10, 10);
  EXPECT_TRUE(WaitUntil([&] { return program.Ended(); }, 15000));
}

TEST(ProgramUnderADebugger, SecondButtonSearchesThroughAnEditOfItsOwn) {
  RequestRecorder service;
  DebuggedProgram program(ExeDirectory() + L"RuvoSearch.exe");
  HWND form = WaitForProcessWindow(program.Pid(), L"TfrmRuvoSearch", 20000, true);
  ASSERT_NE(form, nullptr);
  HWND button2 = ChildButton(form, L"Button2");
  ASSERT_NE(button2, nullptr);
  ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button2), BN_CLICKED), reinterpret_cast<LPARAM>(button2));
  ASSERT_TRUE(WaitUntil([&] { return !service.Messages(kActionSearch).empty(); }, 10000));
  const auto search = service.Messages(kActionSearch).front();
  EXPECT_EQ(search.Dir, u"D:\\");
  EXPECT_EQ(search.Wildcard, u"shell111111111111111");
  EXPECT_EQ(search.SearchBox, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(form)));
  // The overlay edit lives on the form and holds the query.
  EXPECT_TRUE(HasDescendantWithText(form, L"shell111111111111111"));
  ::PostMessageW(form, WM_CLOSE, 10, 10);
  EXPECT_TRUE(WaitUntil([&] { return program.Ended(); }, 15000));
}

}  // namespace
