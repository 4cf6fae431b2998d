#pragma once
// The general hook receiver: loads the hook library, registers a hidden message-only listener
// window with it and raises the messages that arrive there as events. Start, Stop, HookDLL
// changes and every event belong to the thread that calls Start and serves its message loop.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "win/hook/HookTypes.h"

// The error text of a hook library result code (0 and the library's negative codes, positive
// values being Windows error codes).
std::wstring HookErrorText(int code);

class TSysHookReceiver {
 public:
  // Msg.hwnd is HookedWnd for hook messages (WM_USER and above), else the listener window.
  using THookMessageEvent = std::function<void(TSysHookReceiver& sender, MSG& msg, bool& handled)>;
  using TSysHookUnfilteredEvent =
      std::function<void(TSysHookReceiver& sender, int32_t code, int32_t wParam, int32_t lParam, bool& handled)>;

  explicit TSysHookReceiver(std::wstring name = {});
  virtual ~TSysHookReceiver();
  TSysHookReceiver(const TSysHookReceiver&) = delete;
  TSysHookReceiver& operator=(const TSysHookReceiver&) = delete;

  // Empty on success and when already active; otherwise the error text, the receiver staying
  // inactive with no library reference and no window. Throws EHookWindowError when the
  // listener window cannot be made.
  std::wstring Start();
  // Destroys the listener window (which ends the registration) and releases the library.
  void Stop();

  bool Active() const { return FActive; }
  HWND Handle() const { return FListenerWnd; }
  HWND HookedWnd() const { return FHookedWnd; }
  void SetHookedWnd(HWND wnd) { FHookedWnd = wnd; }
  const std::wstring& HookDLL() const { return FHookDllName; }
  // Refused with an error box while active.
  virtual void SetHookDLL(const std::wstring& name);
  const std::wstring& Name() const { return FName; }
  void SetName(std::wstring name) { FName = std::move(name); }

  // The hook kind passed to the library (its own numbering, see core/HookKinds.h).
  virtual int HookKind() const = 0;
  // Name, or the class name when Name is empty.
  virtual std::wstring ReceiverName() const;
  // The listener window's message handler.
  virtual void WndProc(TMessage& message);

  THookMessageEvent OnHookMessage;
  TSysHookUnfilteredEvent OnUnfiltered;

 protected:
  virtual void ProcessHookMessage(TMessage& message) = 0;
  virtual void DoUnfiltered(int32_t code, int32_t wParam, int32_t lParam, bool& handled);
  virtual std::wstring ClassName() const { return L"TSysHookReceiver"; }

 private:
  std::wstring FName;
  HWND FHookedWnd = nullptr;
  bool FActive = false;
  std::wstring FHookDllName;
  bool FIsFiltering = false;
  HWND FListenerWnd = nullptr;
};
