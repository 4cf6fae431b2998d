#pragma once
// The status text in the middle of a result list ("searching", "no match").
#include <windows.h>

#include <string>

#include "win/controls/WinControl.h"

class TStatusLabel : public TWinControl {
 public:
  ~TStatusLabel() override { DestroyHandle(); }
  // A hidden static text child of parent.
  bool CreateIn(HWND parent);
  // Sets the text and sizes the label to it in its current font.
  void SetCaption(const std::wstring& text);
  void SetFont(HFONT font);
  // Moves the label without resizing it.
  void MoveTo(int left, int top);

  COLORREF TextColor = RGB(0, 0, 0);
};
