#include "win/resultview/ListPanel.h"

bool TListPanel::CreateIn(HWND parent) {
  return CreateOwnWindow(L"RuvoResultPanel", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, parent,
                         RECT{0, 0, 0, 0});
}

LRESULT TListPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NOTIFY:
      if (OnNotify && lp) return OnNotify(*reinterpret_cast<NMHDR*>(lp));
      break;
    case WM_ERASEBKGND:
      return 1;  // the list covers the whole panel
    default:
      break;
  }
  return TWinControl::WndProc(msg, wp, lp);
}
