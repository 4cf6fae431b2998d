#pragma once
// The host form of the result lists: a never-seen tool window owned by the desktop. Each
// list's panel waits under it until the list is laid over an Explorer window.
#include <windows.h>

#include "win/controls/WinControl.h"

class TfrmListView : public TWinControl {
 public:
  static constexpr wchar_t kCaption[] = L"frmListView";
  static constexpr int kDesignWidth = 633;   // client size at 120 pixels per inch
  static constexpr int kDesignHeight = 291;
  static constexpr int kDesignDpi = 120;

  // Creates the hidden window and makes this the frmListView instance.
  TfrmListView();
  ~TfrmListView() override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The one host form, created by the main form at start-up; null before and after it.
extern TfrmListView* frmListView;
