#include "win/hook/TSysHookReceiver.h"

#include "win/hook/HookLibraryLoader.h"
#include "win/hook/UtilityWindow.h"

namespace {

void DispatchToReceiver(void* object, TMessage& message) {
  static_cast<TSysHookReceiver*>(object)->WndProc(message);
}

}  // namespace

TSysHookReceiver::TSysHookReceiver(std::wstring name) : FName(std::move(name)) {}

TSysHookReceiver::~TSysHookReceiver() { Stop(); }

std::wstring TSysHookReceiver::Start() {
  if (FActive) return {};
  if (FHookDllName.empty()) return L"Cannot activate hook because DLL name is not set.";
  int code = LoadHookLibrary(FHookDllName);
  if (code != 0) return HookErrorText(code);
  try {
    FListenerWnd = AllocateUtilityWindow({&DispatchToReceiver, this});
  } catch (...) {
    UnloadHookLibrary();
    throw;
  }
  code = HookLibraryAttachReceiver(HookKind(), FListenerWnd, FIsFiltering, FHookedWnd);
  if (code != 0) {
    DeallocateUtilityWindow(FListenerWnd);
    FListenerWnd = nullptr;
    UnloadHookLibrary();
    return HookErrorText(code);
  }
  FActive = true;
  return {};
}

void TSysHookReceiver::Stop() {
  if (!FActive) return;
  // Destroying the listener window ends the library's registration of it.
  if (FListenerWnd) {
    DeallocateUtilityWindow(FListenerWnd);
    FListenerWnd = nullptr;
  }
  UnloadHookLibrary();
  FActive = false;
}

void TSysHookReceiver::SetHookDLL(const std::wstring& name) {
  if (FActive) {
    ::MessageBoxW(nullptr, L"DLL name cannot be set while hook is active!", ReceiverName().c_str(), MB_ICONERROR);
    return;
  }
  FHookDllName = name;
}

std::wstring TSysHookReceiver::ReceiverName() const { return FName.empty() ? ClassName() : FName; }

void TSysHookReceiver::WndProc(TMessage& message) {
  bool handled = false;
  if (OnHookMessage) {
    MSG msg{};
    msg.hwnd = message.Msg >= WM_USER ? FHookedWnd : FListenerWnd;
    msg.message = message.Msg;
    msg.wParam = message.WParam;
    msg.lParam = message.LParam;
    msg.time = ::GetTickCount();
    OnHookMessage(*this, msg, handled);
  }
  if (handled) return;
  if (message.Msg < WM_USER) {
    message.Result = ::DefWindowProcW(FListenerWnd, message.Msg, message.WParam, message.LParam);
    return;
  }
  ProcessHookMessage(message);
}

void TSysHookReceiver::DoUnfiltered(int32_t code, int32_t wParam, int32_t lParam, bool& handled) {
  if (OnUnfiltered) OnUnfiltered(*this, code, wParam, lParam, handled);
}
