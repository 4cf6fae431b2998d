#pragma once
// The process-wide handler that errors escaping a window's message handler are reported to,
// so no error unwinds through the system's message dispatch.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

// Receives every error that escapes a window's message handler; the error goes no further.
// The default writes the error's text as a diagnostic line (Trace).
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs a handler (an empty one restores the default) and returns the previous one.
TApplicationExceptionHandler SetApplicationExceptionHandler(TApplicationExceptionHandler handler);

// Hands the current error to the installed handler. Never throws.
void HandleApplicationException(std::exception_ptr error) noexcept;

// The text of an error as a handler would show it.
std::wstring ExceptionText(std::exception_ptr error);
