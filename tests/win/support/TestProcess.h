#pragma once
// Helpers for Wine tests that drive real processes and their windows. Every wait is bounded.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace testing_support {

// Polls pred every 20 ms, pumping this thread's messages, until it holds or ms have passed.
inline bool WaitUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (::GetTickCount() - start >= ms) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::Sleep(20);
  }
}

class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts exe (full path) with the arguments; Valid() tells whether it started.
  explicit ChildProcess(const std::wstring& exe, const std::wstring& args = L"") {
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      process_.reset(pi.hProcess);
      ::CloseHandle(pi.hThread);
      pid_ = pi.dwProcessId;
    }
  }
  // Takes over a process started otherwise (another token, another verb).
  ChildProcess(HANDLE process, DWORD pid) : process_(process), pid_(pid) {}
  ChildProcess(ChildProcess&&) = default;
  ChildProcess& operator=(ChildProcess&&) = default;
  ~ChildProcess() { Kill(); }

  bool Valid() const { return static_cast<bool>(process_); }
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_.get(); }
  bool Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // Waits for the end; returns the exit code, or -1 on time-out.
  long Wait(DWORD ms) {
    if (!process_ || ::WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return static_cast<long>(code);
  }
  void Kill() {
    if (Running()) {
      ::TerminateProcess(process_.get(), 99);
      ::WaitForSingleObject(process_.get(), 5000);
    }
  }

 private:
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
};

struct FindWindowQuery {
  DWORD pid;
  const wchar_t* cls;
  bool visibleOnly;
  HWND found;
};

inline BOOL CALLBACK FindWindowVisit(HWND w, LPARAM lp) {
  auto* q = reinterpret_cast<FindWindowQuery*>(lp);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(w, &owner);
  if (owner != q->pid) return TRUE;
  if (q->visibleOnly && !::IsWindowVisible(w)) return TRUE;
  wchar_t name[256] = L"";
  ::GetClassNameW(w, name, 256);
  if (q->cls && lstrcmpiW(name, q->cls) != 0) return TRUE;
  q->found = w;
  return FALSE;
}

// The first top-level window of that class (any when cls is null) owned by the process.
inline HWND FindProcessWindow(DWORD pid, const wchar_t* cls, bool visibleOnly = false) {
  FindWindowQuery q{pid, cls, visibleOnly, nullptr};
  ::EnumWindows(&FindWindowVisit, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

inline HWND WaitForProcessWindow(DWORD pid, const wchar_t* cls, DWORD ms, bool visibleOnly = false) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindProcessWindow(pid, cls, visibleOnly)) != nullptr; }, ms);
  return found;
}

inline std::wstring WindowText(HWND w) {
  wchar_t buf[1024] = L"";
  ::GetWindowTextW(w, buf, 1024);
  return buf;
}

// The texts of a dialog's static controls, in z-order (a message box's message is one).
inline std::vector<std::wstring> DialogStaticTexts(HWND dlg) {
  std::vector<std::wstring> texts;
  for (HWND c = ::GetWindow(dlg, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[64] = L"";
    ::GetClassNameW(c, cls, 64);
    if (lstrcmpiW(cls, L"Static") == 0) {
      const std::wstring t = WindowText(c);
      if (!t.empty()) texts.push_back(t);
    }
  }
  return texts;
}

inline bool Contains(const std::vector<std::wstring>& v, const std::wstring& s) {
  for (const auto& x : v)
    if (x == s) return true;
  return false;
}

}  // namespace testing_support
