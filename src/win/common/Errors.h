#pragma once
// Errors raised across components: a Win32 failure with its code and the system's text, a
// COM failure with its HRESULT, and the silent abort that ends a task without being reported.
#include <windows.h>

#include <stdexcept>
#include <string>

class EOSError : public std::runtime_error {
 public:
  // The system's text for the code ("System Error.  Code: n." when the system has none).
  explicit EOSError(DWORD code);
  DWORD ErrorCode() const { return code_; }

 private:
  DWORD code_;
};

// Raises the calling thread's last error as an EOSError.
[[noreturn]] void RaiseLastOSError();

class EOleSysError : public std::runtime_error {
 public:
  explicit EOleSysError(HRESULT hr);
  HRESULT ErrorCode() const { return hr_; }

 private:
  HRESULT hr_;
};

// Ends an operation quietly: whoever catches it reports nothing.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return ""; }
};
