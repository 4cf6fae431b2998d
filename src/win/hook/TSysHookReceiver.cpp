#include "win/hook/TSysHookReceiver.h"

#include "win/hook/HookLibraryLoader.h"
#include "win/hook/UtilityWindow.h"

namespace {

void DispatchToReceiver(void* object, TMessage& message) {
  static_cast<TSysHookReceiver*>(object)->WndProc(message);
}

}  // namespace

TSysHookReceiver::TSysHookReceiver(std::wstring name) : name_(std::move(name)) {}

TSysHookReceiver::~TSysHookReceiver() { Stop(); }

std::wstring TSysHookReceiver::Start() {
  if (active_) return {};
  if (hookDllName_.empty()) return L"Cannot activate hook because DLL name is not set.";
  int code = LoadHookLibrary(hookDllName_);
  if (code != 0) return HookErrorText(code);
  try {
    listenerWnd_ = AllocateUtilityWindow({&DispatchToReceiver, this});
  } catch (...) {
    UnloadHookLibrary();
    throw;
  }
  code = HookLibraryAttachReceiver(HookKind(), listenerWnd_, isFiltering_, hookedWnd_);
  if (code != 0) {
    DeallocateUtilityWindow(listenerWnd_);
    listenerWnd_ = nullptr;
    UnloadHookLibrary();
    return HookErrorText(code);
  }
  active_ = true;
  return {};
}

void TSysHookReceiver::Stop() {
  if (!active_) return;
  // Destroying the listener window ends the library's registration of it.
  if (listenerWnd_) {
    DeallocateUtilityWindow(listenerWnd_);
    listenerWnd_ = nullptr;
  }
  UnloadHookLibrary();
  active_ = false;
}

void TSysHookReceiver::SetHookDLL(const std::wstring& name) {
  if (active_) {
    ::MessageBoxW(nullptr, L"DLL name cannot be set while hook is active!", ReceiverName().c_str(), MB_ICONERROR);
    return;
  }
  hookDllName_ = name;
}

std::wstring TSysHookReceiver::ReceiverName() const { return name_.empty() ? ClassName() : name_; }

void TSysHookReceiver::WndProc(TMessage& message) {
  bool handled = false;
  if (OnHookMessage) {
    MSG msg{};
    msg.hwnd = message.Msg >= WM_USER ? hookedWnd_ : listenerWnd_;
    msg.message = message.Msg;
    msg.wParam = message.WParam;
    msg.lParam = message.LParam;
    msg.time = ::GetTickCount();
    OnHookMessage(*this, msg, handled);
  }
  if (handled) return;
  if (message.Msg < WM_USER) {
    message.Result = ::DefWindowProcW(listenerWnd_, message.Msg, message.WParam, message.LParam);
    return;
  }
  ProcessHookMessage(message);
}

void TSysHookReceiver::DoUnfiltered(int32_t code, int32_t wParam, int32_t lParam, bool& handled) {
  if (OnUnfiltered) OnUnfiltered(*this, code, wParam, lParam, handled);
}
