#pragma once
// The hidden main form. It owns the hook thread, receives the messages by which other
// processes close the program or ask for the info tip, reports the install channel once at
// start-up and offers the updates the service announces.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "win/controls/WinControl.h"

class THookThread;
class TfrmInfoTip;

class TfrmRuvoSearch : public TWinControl {
 public:
  static constexpr UINT WM_NEWVERSION = 0x401;
  static constexpr UINT WM_REPORTCHANNEL = 0x402;
  static constexpr wchar_t kCaption[] = L"Ruvoso";

  TfrmRuvoSearch();  // creates the window and runs FormCreate
  ~TfrmRuvoSearch() override;  // runs FormDestroy

  THookThread* HookThread() const { return FHookThread.get(); }
  HIMAGELIST SystemImages() const { return SystemImages_; }
  // Ends the program: destroys the window and quits the message loop.
  void Close();
  bool Closed() const { return closed_; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  void FormCreate();
  void FormDestroy();
  void WMClose(WPARAM wp, LPARAM lp);
  LRESULT WMSysCommand(WPARAM wp, LPARAM lp);
  void WMNewVersion(WPARAM wp);
  void WMReportChannel();
  void HookThreadServiceNotRun(THookThread* sender, bool& successed);
  void ShowInfoTip();
  void HideApplication();
  void Button1Click();
  void Button2Click();
  void Timer1Timer();

  HWND Button1 = nullptr;
  HWND Button2 = nullptr;
  bool timer1Enabled_ = false;
  bool closed_ = false;
  HIMAGELIST SystemImages_ = nullptr;  // the shell's list, shared, never destroyed by us
  std::unique_ptr<THookThread> FHookThread;
  std::unique_ptr<TfrmInfoTip> infoTip_;
};
