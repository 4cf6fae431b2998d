#pragma once
// The messages the hook library posts to a CBT receiver: WM_USER plus the HCBT_* code of the
// event. Shared by the library, which posts them, and the receivers, which decode them.
#include <windows.h>

constexpr UINT CBTHookMessage(int code) { return WM_USER + code; }

inline constexpr UINT kCBTMoveSize = CBTHookMessage(HCBT_MOVESIZE);          // wParam: the window
inline constexpr UINT kCBTMinMax = CBTHookMessage(HCBT_MINMAX);              // wParam: the window, lParam: SW_*
inline constexpr UINT kCBTQueueSync = CBTHookMessage(HCBT_QS);
inline constexpr UINT kCBTCreateWnd = CBTHookMessage(HCBT_CREATEWND);        // wParam: the new window
inline constexpr UINT kCBTDestroyWnd = CBTHookMessage(HCBT_DESTROYWND);      // wParam: the window
inline constexpr UINT kCBTActivate = CBTHookMessage(HCBT_ACTIVATE);          // wParam: new, lParam: active
inline constexpr UINT kCBTClickSkipped = CBTHookMessage(HCBT_CLICKSKIPPED);  // wParam: mouse message, lParam: target
inline constexpr UINT kCBTKeySkipped = CBTHookMessage(HCBT_KEYSKIPPED);      // wParam: key, lParam: key flags
inline constexpr UINT kCBTSysCommand = CBTHookMessage(HCBT_SYSCOMMAND);      // wParam: SC_*
inline constexpr UINT kCBTSetFocus = CBTHookMessage(HCBT_SETFOCUS);          // wParam: new, lParam: old
