#include "win/resultview/ListViewForm.h"

#include <stdexcept>

#include "win/common/Handle.h"

TfrmListView* frmListView = nullptr;

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

int DesignScaled(int n) {
  WindowDc screen(nullptr);
  return ::MulDiv(n, ::GetDeviceCaps(screen.get(), LOGPIXELSY), TfrmListView::kDesignDpi);
}
}  // namespace

TfrmListView::TfrmListView() {
  RECT r{0, 0, DesignScaled(kDesignWidth), DesignScaled(kDesignHeight)};
  ::AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  ::OffsetRect(&r, -r.left, -r.top);
  // A popup with the desktop as parent is owned by the desktop.
  if (!CreateOwnWindow(L"TfrmListView", kStyle, kExStyle, ::GetDesktopWindow(), r))
    throw std::runtime_error("Cannot create the result list host form");
  ::SetWindowTextW(Handle(), kCaption);
  frmListView = this;
}

TfrmListView::~TfrmListView() {
  if (frmListView == this) frmListView = nullptr;
  DestroyHandle();
}

LRESULT TfrmListView::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    ::GetClientRect(Handle(), &r);
    ::FillRect(reinterpret_cast<HDC>(wp), &r, ::GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return TWinControl::WndProc(msg, wp, lp);
}
