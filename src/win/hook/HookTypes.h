#pragma once
// Types shared by the hook receiver's pieces: the message record a utility window hands to
// its target, the error a utility window raises, and the process-wide handler that errors
// escaping a window's target are reported to.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

// One window message as the utility window passes it on; Result is what the window answers.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// Raised when the utility window class cannot be registered or its window cannot be created.
class EHookWindowError : public std::runtime_error {
 public:
  explicit EHookWindowError(const std::wstring& message);
  const std::wstring& Message() const noexcept { return message_; }

 private:
  std::wstring message_;
};

// Receives every error that escapes a window's message handler; the error goes no further.
// The default writes the error's text with OutputDebugStringW.
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs a handler (an empty one restores the default) and returns the previous one.
TApplicationExceptionHandler SetApplicationExceptionHandler(TApplicationExceptionHandler handler);

// Hands the current error to the installed handler. Never throws.
void HandleApplicationException(std::exception_ptr error) noexcept;

// The text of an error as a handler would show it.
std::wstring ExceptionText(std::exception_ptr error);
