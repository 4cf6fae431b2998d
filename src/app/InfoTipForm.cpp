#include "app/InfoTipForm.h"

#include "app/Resources.h"
#include "win/common/Handle.h"

namespace {
RECT CentredRect() {
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - TfrmInfoTip::kWidth) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - TfrmInfoTip::kHeight) / 2;
  return RECT{x, y, x + TfrmInfoTip::kWidth, y + TfrmInfoTip::kHeight};
}
}  // namespace

TfrmInfoTip::TfrmInfoTip() {
  FPicture.LoadFromResource(::GetModuleHandleW(nullptr), IDR_INFOTIP_JPEG);
  // The desktop window as parent, so the picture is not owned by our hidden main form and
  // shows although nothing else of ours is visible.
  CreateOwnWindow(L"TfrmInfoTip", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, ::GetDesktopWindow(), CentredRect());
  if (Handle()) ::SetWindowTextW(Handle(), L"frmInfoTip");
}

TfrmInfoTip::~TfrmInfoTip() { DestroyHandle(); }

void TfrmInfoTip::ShowCentred() {
  if (!Handle()) return;
  const RECT r = CentredRect();
  ::SetWindowPos(Handle(), HWND_TOPMOST, r.left, r.top, kWidth, kHeight, SWP_SHOWWINDOW);
}

LRESULT TfrmInfoTip::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const PaintScope paint(Handle());
      const HDC dc = paint.get();
      RECT r;
      ::GetClientRect(Handle(), &r);
      if (FPicture.Empty())
        ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      else
        FPicture.Draw(dc, 0, 0);
      return 0;
    }
    case WM_LBUTTONUP:
      Image1Click();
      return 0;
    case WM_CLOSE:
      Hide();
      return 0;
  }
  return TWinControl::WndProc(msg, wp, lp);
}
