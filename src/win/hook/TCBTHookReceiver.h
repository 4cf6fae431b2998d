#pragma once
// The CBT hook receiver: decodes the library's WM_USER + HCBT_* messages into typed events.
#include "core/HookKinds.h"
#include "win/hook/CBTHookMessages.h"
#include "win/hook/TSysHookReceiver.h"

class TCBTHookReceiver : public TSysHookReceiver {
 public:
  using TCBTActivateEvent = std::function<void(TCBTHookReceiver& sender, HWND newWindow, HWND activeWindow)>;
  using TCBTClickSkippedEvent = std::function<void(TCBTHookReceiver& sender, HWND targetWindow, int32_t mouseMessage)>;
  using TCBTNotifyWindowEvent = std::function<void(TCBTHookReceiver& sender, HWND windowHandle)>;
  using TCBTKeySkippedEvent = std::function<void(TCBTHookReceiver& sender, int32_t virtualKeyCode, uint16_t repeatCount,
                                                 uint8_t scanCode, bool isExtendedKey, bool altIsDown,
                                                 bool keyWasDownBefore, bool keyIsBeingPressed)>;
  using TCBTMinMaxEvent = std::function<void(TCBTHookReceiver& sender, HWND targetWindow, uint16_t showValue)>;
  using TCBTNotifyEvent = std::function<void(TCBTHookReceiver& sender)>;
  using TCBTSetFocusEvent = std::function<void(TCBTHookReceiver& sender, HWND newWindow, HWND oldWindow)>;
  using TCBTSysCommandEvent = std::function<void(TCBTHookReceiver& sender, int32_t sysCommand)>;

  explicit TCBTHookReceiver(std::wstring name = {});
  ~TCBTHookReceiver() override;

  int HookKind() const override { return kCBTHookKind; }

  TCBTActivateEvent OnActivate;
  TCBTClickSkippedEvent OnClickSkipped;
  TCBTNotifyWindowEvent OnCreateWnd;
  TCBTNotifyWindowEvent OnDestroyWnd;
  TCBTKeySkippedEvent OnKeySkipped;
  TCBTMinMaxEvent OnMinMax;
  TCBTNotifyWindowEvent OnMoveSize;
  TCBTNotifyEvent OnQueueSync;
  TCBTSetFocusEvent OnSetFocus;
  TCBTSysCommandEvent OnSysCommand;

 protected:
  void ProcessHookMessage(TMessage& message) override;
  std::wstring ClassName() const override { return L"TCBTHookReceiver"; }

  virtual void DoActivate(HWND newWindow, HWND activeWindow);
  virtual void DoClickSkipped(HWND targetWindow, int32_t mouseMessage);
  virtual void DoCreateWnd(HWND windowHandle);
  virtual void DoDestroyWnd(HWND windowHandle);
  virtual void DoKeySkipped(int32_t virtualKeyCode, uint16_t repeatCount, uint8_t scanCode, bool isExtendedKey,
                            bool altIsDown, bool keyWasDownBefore, bool keyIsBeingPressed);
  virtual void DoMinMax(HWND targetWindow, uint16_t showValue);
  virtual void DoMoveSize(HWND windowHandle);
  virtual void DoQueueSync();
  virtual void DoSetFocus(HWND newWindow, HWND oldWindow);
  virtual void DoSysCommand(int32_t sysCommand);
};
