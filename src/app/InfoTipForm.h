#pragma once
// The information picture another process can ask for: a borderless, stay-on-top 810 x 480
// window at the screen centre showing the usage hint; a click hides it.
#include <windows.h>

#include "win/controls/WinControl.h"
#include "win/controls/JpegImage.h"

class TfrmInfoTip : public TWinControl {
 public:
  static constexpr int kWidth = 810;
  static constexpr int kHeight = 480;

  TfrmInfoTip();
  ~TfrmInfoTip() override;

  // Shows the picture at the screen centre, on top of other windows.
  void ShowCentred();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Image1Click() { Hide(); }

  TJpegImage FPicture;
};
