#pragma once
// Sets the process error mode for a scope, so a missing disk or module shows no system dialog.
#include <windows.h>

class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) : old_(::SetErrorMode(mode)) {}
  // Leaves the thread's last error as the scope's own calls set it.
  ~ErrorModeScope() {
    const DWORD error = ::GetLastError();
    ::SetErrorMode(old_);
    ::SetLastError(error);
  }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT old_;
};
