#include "win/hook/TCBTHookReceiver.h"

namespace {

HWND AsWindow(WPARAM value) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }
HWND AsWindow(LPARAM value) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }

}  // namespace

TCBTHookReceiver::TCBTHookReceiver(std::wstring name) : TSysHookReceiver(std::move(name)) {}

// Stopped here as well, so the listener window goes while this part of the object still exists.
TCBTHookReceiver::~TCBTHookReceiver() { Stop(); }

void TCBTHookReceiver::ProcessHookMessage(TMessage& message) {
  if (message.Msg < WM_USER) return;
  message.Result = 0;
  const int32_t code = static_cast<int32_t>(message.Msg - CBTHookMessage(0));
  const WPARAM wParam = message.WParam;
  const LPARAM lParam = message.LParam;
  bool handled = false;
  DoUnfiltered(code, static_cast<int32_t>(wParam), static_cast<int32_t>(lParam), handled);
  if (handled) return;
  const auto flags = static_cast<uint32_t>(lParam);
  switch (message.Msg) {
    case kCBTMoveSize: DoMoveSize(AsWindow(wParam)); break;
    case kCBTMinMax: DoMinMax(AsWindow(wParam), static_cast<uint16_t>(flags & 0xFFFF)); break;
    case kCBTQueueSync: DoQueueSync(); break;
    case kCBTCreateWnd: DoCreateWnd(AsWindow(wParam)); break;
    case kCBTDestroyWnd: DoDestroyWnd(AsWindow(wParam)); break;
    case kCBTActivate: DoActivate(AsWindow(wParam), AsWindow(lParam)); break;
    case kCBTClickSkipped: DoClickSkipped(AsWindow(lParam), static_cast<int32_t>(wParam)); break;
    case kCBTKeySkipped:
      DoKeySkipped(static_cast<int32_t>(wParam), static_cast<uint16_t>(flags & 0xFFFF),
                   static_cast<uint8_t>((flags >> 16) & 0xFF), (flags & (1u << 24)) != 0, (flags & (1u << 29)) != 0,
                   (flags & (1u << 30)) != 0, (flags & (1u << 31)) == 0);
      break;
    case kCBTSysCommand: DoSysCommand(static_cast<int32_t>(wParam)); break;
    case kCBTSetFocus: DoSetFocus(AsWindow(wParam), AsWindow(lParam)); break;
    default: break;  // codes above 9 only reach OnUnfiltered
  }
}

void TCBTHookReceiver::DoActivate(HWND newWindow, HWND activeWindow) {
  if (OnActivate) OnActivate(*this, newWindow, activeWindow);
}
void TCBTHookReceiver::DoClickSkipped(HWND targetWindow, int32_t mouseMessage) {
  if (OnClickSkipped) OnClickSkipped(*this, targetWindow, mouseMessage);
}
void TCBTHookReceiver::DoCreateWnd(HWND windowHandle) {
  if (OnCreateWnd) OnCreateWnd(*this, windowHandle);
}
void TCBTHookReceiver::DoDestroyWnd(HWND windowHandle) {
  if (OnDestroyWnd) OnDestroyWnd(*this, windowHandle);
}
void TCBTHookReceiver::DoKeySkipped(int32_t virtualKeyCode, uint16_t repeatCount, uint8_t scanCode, bool isExtendedKey,
                                    bool altIsDown, bool keyWasDownBefore, bool keyIsBeingPressed) {
  if (OnKeySkipped)
    OnKeySkipped(*this, virtualKeyCode, repeatCount, scanCode, isExtendedKey, altIsDown, keyWasDownBefore,
                 keyIsBeingPressed);
}
void TCBTHookReceiver::DoMinMax(HWND targetWindow, uint16_t showValue) {
  if (OnMinMax) OnMinMax(*this, targetWindow, showValue);
}
void TCBTHookReceiver::DoMoveSize(HWND windowHandle) {
  if (OnMoveSize) OnMoveSize(*this, windowHandle);
}
void TCBTHookReceiver::DoQueueSync() {
  if (OnQueueSync) OnQueueSync(*this);
}
void TCBTHookReceiver::DoSetFocus(HWND newWindow, HWND oldWindow) {
  if (OnSetFocus) OnSetFocus(*this, newWindow, oldWindow);
}
void TCBTHookReceiver::DoSysCommand(int32_t sysCommand) {
  if (OnSysCommand) OnSysCommand(*this, sysCommand);
}
