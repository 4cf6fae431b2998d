#pragma once
// Types shared by the hook receiver's pieces: the message record a utility window hands to
// its target and the error a utility window raises.
#include <windows.h>

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
  const std::wstring& Message() const noexcept { return FMessage; }

 private:
  std::wstring FMessage;
};
