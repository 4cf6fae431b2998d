#pragma once
// Diagnostic lines. They go to a debugger's output window; when the environment variable
// RUVO_TRACE_FILE names a file at the first line, every line is also appended to it, stamped
// with the time and the process and thread, so a run that went wrong can be read afterwards
// (Wine's debug channel drops OutputDebugStringW).
#include <string>
#include <string_view>

void Trace(std::wstring_view line);
// A UTF-8 text, such as an exception's what().
void TraceUtf8(std::string_view line);

// The local time of day, as the user's locale writes it.
std::wstring TimeText();
