#include "win/thread/MessagePump.h"

bool PumpMessages(TQuitRule rule, const std::function<bool()>& stopWhen) {
  MSG msg;
  while (!(stopWhen && stopWhen()) && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (rule == TQuitRule::qrIgnore) continue;
      if (rule == TQuitRule::qrRepost) ::PostQuitMessage(static_cast<int>(msg.wParam));
      return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return false;
}
