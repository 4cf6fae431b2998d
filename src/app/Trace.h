#pragma once
// Diagnostic lines for a debugger's output window; nothing reads them.
#include <windows.h>

#include <string>

inline void Trace(const std::wstring& line) { ::OutputDebugStringW(line.c_str()); }

// The local time of day, as the user's locale writes it.
inline std::wstring TimeText() {
  wchar_t text[64] = L"";
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 64);
  return text;
}
