#include "win/hook/UtilityWindow.h"

#include "win/common/ApplicationException.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/hook/HookLibraryLoader.h"

namespace {

constexpr wchar_t kClassName[] = L"QvrUtilWindow";
// Window extra memory: the target's method in the first slot, its object in the second.
constexpr int kMethodSlot = 0;
constexpr int kObjectSlot = sizeof(LONG_PTR);

// Lives as long as the process: a hook library still loaded at exit means a receiver was never
// stopped.
class ProcessState {
 public:
  ProcessState() = default;
  ~ProcessState() {
    if (HookLibraryLoaded())
      ::MessageBoxW(nullptr, L"SysHook DLL was not unloaded!", L"SysHookLoader", MB_ICONWARNING);
  }
  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

  CriticalSection lock;  // guards the class registration and liveWindows
  int liveWindows = 0;
};
ProcessState g_state;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

LRESULT CALLBACK UtilityWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto method = reinterpret_cast<TUtilityWindowTarget::Method>(::GetWindowLongPtrW(wnd, kMethodSlot));
  if (!method) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  void* object = reinterpret_cast<void*>(::GetWindowLongPtrW(wnd, kObjectSlot));
  TMessage message{msg, wParam, lParam, 0};
  try {
    method(object, message);
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
  return message.Result;
}

void EnsureClassRegistered(HINSTANCE instance) {
  WNDCLASSW existing{};
  if (::GetClassInfoW(instance, kClassName, &existing)) {
    if (existing.lpfnWndProc == &UtilityWindowProc) return;
    ::UnregisterClassW(kClassName, instance);
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = &UtilityWindowProc;
  wc.cbWndExtra = 2 * sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  if (!::RegisterClassW(&wc))
    throw EHookWindowError(L"Unable to register QvrWin32 hidden window class. " + SystemErrorMessage(::GetLastError()));
}

}  // namespace

HWND AllocateUtilityWindow(TUtilityWindowTarget target) {
  CsLock lock(g_state.lock);
  const HINSTANCE instance = ThisModule();
  EnsureClassRegistered(instance);
  HWND wnd = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClassName, L"", WS_POPUP, 0, 0, 0, 0,
                               HWND_MESSAGE, nullptr, instance, nullptr);
  if (!wnd) throw EHookWindowError(L"Unable to create QvrWin32 hidden window. " + SystemErrorMessage(::GetLastError()));
  ::SetWindowLongPtrW(wnd, kObjectSlot, reinterpret_cast<LONG_PTR>(target.object));
  ::SetWindowLongPtrW(wnd, kMethodSlot, reinterpret_cast<LONG_PTR>(target.method));
  ++g_state.liveWindows;
  return wnd;
}

void DeallocateUtilityWindow(HWND window) {
  if (!window) return;  // nothing was counted for it
  // The target is being torn down: the messages of the destruction itself must not reach it.
  ::SetWindowLongPtrW(window, kMethodSlot, 0);
  ::DestroyWindow(window);
  CsLock lock(g_state.lock);
  if (--g_state.liveWindows <= 0) {
    g_state.liveWindows = 0;
    ::UnregisterClassW(kClassName, ThisModule());
  }
}

int LiveUtilityWindowCount() {
  CsLock lock(g_state.lock);
  return g_state.liveWindows;
}
