#pragma once
// Helpers of the hook tests: a message pump with a deadline and a second process with its
// standard output captured.
#include <windows.h>

#include <functional>
#include <string>

#include "win/common/Handle.h"

// Serves this thread's messages until done() holds or timeoutMs passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

// A program from the test's folder, its output read through a pipe. Killed if still running
// when destroyed.
class ChildProcess {
 public:
  ChildProcess(const std::wstring& program, const std::wstring& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  // Serves this thread's messages while waiting; false on timeout.
  bool WaitPumping(DWORD timeoutMs);
  void Kill();
  DWORD ExitCode() const;
  // Everything the child wrote so far.
  std::string Output();
  HANDLE Process() const { return process_.get(); }

 private:
  UniqueKernelHandle process_;
  UniqueFileHandle readEnd_;
  std::string output_;
};

// Closes the first window of the process titled `caption` (a message box) with IDOK and returns
// its text; "(no box)" when none appeared within timeoutMs. Safe to call from any thread.
std::wstring CloseMessageBox(const std::wstring& caption, DWORD processId, DWORD timeoutMs);
