#pragma once
// Bounded waiting for the Wine tests. A wait serves the calling thread's messages, so a test
// thread's windows stay responsive while it waits (a thread without windows loses nothing).
#include <windows.h>

#include <algorithm>
#include <functional>

namespace testing_support {

// Dispatches every message waiting for this thread.
inline void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Serves this thread's messages until pred holds or ms have passed; answers pred().
inline bool WaitUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    PumpPending();
    if (pred()) return true;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) return false;
    // Wakes at once for a message, otherwise looks again within 10 ms.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, ms - elapsed), QS_ALLINPUT);
  }
}

// Serves this thread's messages for ms.
inline void PumpFor(DWORD ms) { WaitUntil([] { return false; }, ms); }

}  // namespace testing_support
