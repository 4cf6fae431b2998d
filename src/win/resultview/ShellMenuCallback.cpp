#include "win/resultview/ShellMenuCallback.h"
#include "win/common/Trace.h"

namespace {

constexpr wchar_t kClassName[] = L"ShellDialogsCallBack";
constexpr wchar_t kWindowName[] = L"ShellDialogsCallBackProcessor";

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

LRESULT CALLBACK CallbackWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      break;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_INITMENUPOPUP: {
      auto* menu = reinterpret_cast<IContextMenu2*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
      if (!menu) {
        Trace(L"NIL Context Menu!");
        break;
      }
      menu->HandleMenuMsg(msg, wp, lp);
      return msg == WM_INITMENUPOPUP ? 0 : 1;
    }
    default:
      break;
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
}

bool RegisterCallbackClass() {
  WNDCLASSW wc{};
  wc.style = CS_PARENTDC;
  wc.lpfnWndProc = CallbackWndProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kClassName;
  return ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

UniqueWindow CreateShellMenuCallbackWindow(IContextMenu2* menu) {
  if (!RegisterCallbackClass()) return {};
  return UniqueWindow(::CreateWindowExW(0, kClassName, kWindowName, WS_POPUP | WS_BORDER | WS_SYSMENU, 0, 0, 0, 0,
                                        nullptr, nullptr, ModuleInstance(), menu));
}
