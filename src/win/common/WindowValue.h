#pragma once
// Window and hook handles travel as 32-bit values: in pipe fields, in the hook library's shared
// table and as window-list keys. Their handles are 32-bit significant on 64-bit Windows too,
// and the system widens them by sign extension (LongToHandle); zero extension would name
// another handle from 0x80000000 up.
#include <windows.h>

#include <cstdint>

// HandleToULong and LongToHandle are macros in the 32-bit headers: never qualify them.

inline std::uint32_t WindowValue(HWND window) { return static_cast<std::uint32_t>(HandleToULong(window)); }

inline HWND WindowFromValue(std::uint32_t value) {
  return static_cast<HWND>(LongToHandle(static_cast<LONG>(value)));
}

inline std::uint32_t HookValue(HHOOK hook) { return static_cast<std::uint32_t>(HandleToULong(hook)); }

inline HHOOK HookFromValue(std::uint32_t value) {
  return static_cast<HHOOK>(LongToHandle(static_cast<LONG>(value)));
}
