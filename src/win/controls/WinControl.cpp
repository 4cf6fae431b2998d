#include "win/controls/WinControl.h"

#include <exception>

#include "win/common/ApplicationException.h"
#include "win/common/Handle.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE ControlsInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace {

bool RegisterControlClass(const wchar_t* className, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (::GetClassInfoExW(ControlsInstance(), className, &wc)) return true;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = ControlsInstance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = className;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

TWinControl::~TWinControl() { DestroyHandle(); }

TWinControl* TWinControl::FromHandle(HWND wnd) {
  if (!wnd || !::IsWindow(wnd)) return nullptr;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid != ::GetCurrentProcessId()) return nullptr;
  if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(wnd, GWLP_WNDPROC)) != &TWinControl::StaticProc) return nullptr;
  return reinterpret_cast<TWinControl*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
}

bool TWinControl::CreateOwnWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent,
                                  const RECT& r) {
  if (FHandle || !RegisterControlClass(className, &TWinControl::StaticProc)) return false;
  // WM_NCCREATE stores `this` and sets FHandle.
  HWND wnd = ::CreateWindowExW(exStyle, className, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, nullptr, ControlsInstance(), this);
  return wnd != nullptr && FHandle == wnd;
}

bool TWinControl::CreateStandardWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent,
                                       const RECT& r) {
  if (FHandle) return false;
  HWND wnd = ::CreateWindowExW(exStyle, className, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, nullptr, ControlsInstance(), nullptr);
  if (!wnd) return false;
  FHandle = wnd;
  ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FClassProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StaticProc)));
  return true;
}

void TWinControl::Detach() {
  if (!FHandle) return;
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
  if (FClassProc) ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FClassProc));
  FClassProc = nullptr;
  FHandle = nullptr;
}

void TWinControl::DestroyHandle() {
  HWND wnd = FHandle;
  Detach();
  if (wnd) ::DestroyWindow(wnd);
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) { return DefaultProc(msg, wp, lp); }

LRESULT TWinControl::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (FClassProc) return ::CallWindowProcW(FClassProc, FHandle, msg, wp, lp);
  return ::DefWindowProcW(FHandle, msg, wp, lp);
}

LRESULT CALLBACK TWinControl::StaticProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    if (auto* self = static_cast<TWinControl*>(cs->lpCreateParams)) {
      self->FHandle = wnd;
      ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  auto* self = reinterpret_cast<TWinControl*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (!self || self->FHandle != wnd) return ::DefWindowProcW(wnd, msg, wp, lp);
  // An error must not unwind through the system's message dispatch: it is reported and ends
  // with the message, and the window goes on.
  LRESULT result = 0;
  try {
    result = self->WndProc(msg, wp, lp);
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
  // The window goes (its parent may have been destroyed, even by another process): the
  // object stays and only forgets the handle.
  if (msg == WM_NCDESTROY) self->Detach();
  return result;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (FHandle) ::SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TWinControl::BoundsRect() const {
  RECT r{};
  if (!FHandle) return r;
  ::GetWindowRect(FHandle, &r);
  if (HWND parent = ::GetParent(FHandle); parent && (::GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD)) {
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

int TWinControl::Width() const {
  RECT r = BoundsRect();
  return r.right - r.left;
}

int TWinControl::Height() const {
  RECT r = BoundsRect();
  return r.bottom - r.top;
}

void TWinControl::Show() {
  if (FHandle) ::ShowWindow(FHandle, SW_SHOWNA);
}

void TWinControl::Hide() {
  if (FHandle) ::ShowWindow(FHandle, SW_HIDE);
}

void TWinControl::Invalidate() {
  if (FHandle) ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void DrawParentBackground(HWND child, HDC dc) {
  HWND parent = ::GetParent(child);
  if (!parent) return;
  // A device context means nothing to another process.
  DWORD pid = 0;
  ::GetWindowThreadProcessId(parent, &pid);
  if (pid != ::GetCurrentProcessId()) return;
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 1);
  RECT client{};
  ::GetClientRect(parent, &client);
  const int saved = ::SaveDC(dc);
  ::OffsetViewportOrgEx(dc, -r.left, -r.top, nullptr);
  ::IntersectClipRect(dc, 0, 0, client.right, client.bottom);
  ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  ::SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  ::RestoreDC(dc, saved);
}

void TWinControl::PaintOverParent(const std::function<void(HDC dc)>& paint) {
  const PaintScope painting(FHandle);
  const HDC dc = painting.get();
  RECT rc{};
  ::GetClientRect(FHandle, &rc);
  UniqueDc mem(::CreateCompatibleDC(dc));
  UniqueBitmap bmp(::CreateCompatibleBitmap(dc, rc.right > 0 ? rc.right : 1, rc.bottom > 0 ? rc.bottom : 1));
  if (mem && bmp) {
    SelectObjectScope sel(mem.get(), bmp.get());
    DrawParentBackground(FHandle, mem.get());
    paint(mem.get());
    ::HideCaret(FHandle);
    ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
    ::ShowCaret(FHandle);
  }
}
