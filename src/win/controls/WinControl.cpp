#include "win/controls/WinControl.h"

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
  if (hwnd_ || !RegisterControlClass(className, &TWinControl::StaticProc)) return false;
  // WM_NCCREATE stores `this` and sets hwnd_.
  HWND wnd = ::CreateWindowExW(exStyle, className, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, nullptr, ControlsInstance(), this);
  return wnd != nullptr && hwnd_ == wnd;
}

bool TWinControl::CreateStandardWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent,
                                       const RECT& r) {
  if (hwnd_) return false;
  HWND wnd = ::CreateWindowExW(exStyle, className, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, nullptr, ControlsInstance(), nullptr);
  if (!wnd) return false;
  hwnd_ = wnd;
  ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  classProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StaticProc)));
  return true;
}

void TWinControl::Detach() {
  if (!hwnd_) return;
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  if (classProc_) ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(classProc_));
  classProc_ = nullptr;
  hwnd_ = nullptr;
}

void TWinControl::DestroyHandle() {
  HWND wnd = hwnd_;
  Detach();
  if (wnd) ::DestroyWindow(wnd);
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) { return DefaultProc(msg, wp, lp); }

LRESULT TWinControl::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (classProc_) return ::CallWindowProcW(classProc_, hwnd_, msg, wp, lp);
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK TWinControl::StaticProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    if (auto* self = static_cast<TWinControl*>(cs->lpCreateParams)) {
      self->hwnd_ = wnd;
      ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  auto* self = reinterpret_cast<TWinControl*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (!self || self->hwnd_ != wnd) return ::DefWindowProcW(wnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    // The window goes (its parent may have been destroyed, even by another process): the
    // object stays and only forgets the handle.
    LRESULT result = self->WndProc(msg, wp, lp);
    self->Detach();
    return result;
  }
  return self->WndProc(msg, wp, lp);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (hwnd_) ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TWinControl::BoundsRect() const {
  RECT r{};
  if (!hwnd_) return r;
  ::GetWindowRect(hwnd_, &r);
  if (HWND parent = ::GetParent(hwnd_); parent && (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD)) {
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
  if (hwnd_) ::ShowWindow(hwnd_, SW_SHOWNA);
}

void TWinControl::Hide() {
  if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void TWinControl::Invalidate() {
  if (hwnd_) ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
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
  PAINTSTRUCT ps{};
  HDC dc = ::BeginPaint(hwnd_, &ps);
  RECT rc{};
  ::GetClientRect(hwnd_, &rc);
  UniqueDc mem(::CreateCompatibleDC(dc));
  UniqueBitmap bmp(::CreateCompatibleBitmap(dc, rc.right > 0 ? rc.right : 1, rc.bottom > 0 ? rc.bottom : 1));
  if (mem && bmp) {
    SelectObjectScope sel(mem.get(), bmp.get());
    DrawParentBackground(hwnd_, mem.get());
    paint(mem.get());
    ::HideCaret(hwnd_);
    ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
    ::ShowCaret(hwnd_);
  }
  ::EndPaint(hwnd_, &ps);
}
