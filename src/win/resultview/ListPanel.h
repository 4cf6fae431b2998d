#pragma once
// The plain container window a result list fills. It hands the list's notifications (custom
// drawing, item text, clicks) back to the list object.
#include <windows.h>

#include <functional>

#include "win/controls/WinControl.h"

class TListPanel : public TWinControl {
 public:
  ~TListPanel() override { DestroyHandle(); }
  // A hidden child window of parent.
  bool CreateIn(HWND parent);

  std::function<LRESULT(NMHDR&)> OnNotify;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
