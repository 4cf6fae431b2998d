#pragma once
// The core keeps text as std::u16string; on Windows wchar_t is the same 16-bit unit, so the
// conversions at the system boundary are plain copies.
#include <windows.h>

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

inline std::wstring W(std::u16string_view s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }
inline std::u16string U(std::wstring_view s) { return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size()); }

// The system's text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorMessage(DWORD code);

// The full path of this process's exe.
std::wstring ExePath();
// The folder of this process's exe, with a trailing backslash.
std::wstring ExeDirectory();
