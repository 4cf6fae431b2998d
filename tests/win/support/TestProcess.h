#pragma once
// Helpers for Wine tests that drive real processes and their windows. Every wait is bounded.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestWait.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace testing_support {

// A second process, ended (if still running) when its owner goes. Its standard output and
// error may be captured, and its standard input may be a pipe this side closes.
class ChildProcess {
 public:
  struct Options {
    bool captureOutput = false;  // standard output and error to a pipe Output() reads
    bool pipeInput = false;      // standard input from a pipe that CloseInput() ends
    DWORD creationFlags = 0;     // for CreateProcess (CREATE_NO_WINDOW, DEBUG_ONLY_THIS_PROCESS, ...)
  };

  ChildProcess() = default;
  // Starts exe (full path) with the arguments; Valid() tells whether it started.
  explicit ChildProcess(const std::wstring& exe, const std::wstring& args = L"") : ChildProcess(exe, args, Options{}) {}
  ChildProcess(const std::wstring& exe, const std::wstring& args, const Options& options) {
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    UniqueKernelHandle childOutput, childInput;
    const bool redirect = options.captureOutput || options.pipeInput;
    if (redirect) {
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
      si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
      si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
      // Only the child's ends are inherited.
      SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
      HANDLE readEnd = nullptr, writeEnd = nullptr;
      if (options.captureOutput) {
        if (!::CreatePipe(&readEnd, &writeEnd, &sa, 1 << 16)) return;
        output_.reset(readEnd);
        childOutput.reset(writeEnd);
        ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        si.hStdOutput = si.hStdError = writeEnd;
      }
      if (options.pipeInput) {
        if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return;
        childInput.reset(readEnd);
        input_.reset(writeEnd);
        ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
        si.hStdInput = readEnd;
      }
    }
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, redirect, options.creationFlags, nullptr, nullptr,
                         &si, &pi)) {
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
  // Waits for the end, serving this thread's messages; returns the exit code, or -1 on time-out.
  long Wait(DWORD ms) {
    if (!process_ || !WaitUntil([this] { return !Running(); }, ms)) return -1;
    return static_cast<long>(ExitCode());
  }
  // STILL_ACTIVE while it runs.
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  void Kill() {
    if (Running()) {
      ::TerminateProcess(process_.get(), 99);
      ::WaitForSingleObject(process_.get(), 5000);
    }
  }
  // Everything the child wrote so far (captured output only).
  std::string Output() {
    DWORD available = 0;
    while (output_ && ::PeekNamedPipe(output_.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char buffer[4096];
      DWORD read = 0;
      if (!::ReadFile(output_.get(), buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr) || read == 0)
        break;
      captured_.append(buffer, read);
    }
    return captured_;
  }
  // Ends the child's standard input (piped input only).
  void CloseInput() { input_.reset(); }

 private:
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
  UniqueFileHandle output_;
  UniqueFileHandle input_;
  std::string captured_;
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
