#pragma once
// The hidden main form. It owns the hook thread, receives the messages by which other
// processes close the program or ask for the info tip, reports the install channel once at
// start-up and offers the updates the service announces.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "app/WindowRec.h"
#include "win/controls/WinControl.h"

class THookThread;
class TfrmInfoTip;
class TfrmListView;

class TfrmRuvoSearch : public TWinControl {
 public:
  static constexpr UINT WM_NEWVERSION = 0x401;
  static constexpr UINT WM_REPORTCHANNEL = 0x402;
  static constexpr wchar_t kCaption[] = L"Ruvoso";

  TfrmRuvoSearch();  // creates the window and runs FormCreate
  ~TfrmRuvoSearch() override;  // runs FormDestroy

  THookThread* HookThread() const { return FHookThread.get(); }
  HIMAGELIST SystemImages() const { return FSystemImages; }
  // The hook thread's result handler, on the main thread: lists one found item in the
  // window's result list when it answers the edit's current query (folders ahead of files),
  // or, for the end of an answer that listed nothing, shows the no-match text. An emptied
  // query hides and clears the list. Paths that are not absolute, well-formed and existing
  // are dropped.
  static void AddSearchResult(THookThread* sender, PWindowRec rec, const std::u16string& fileName,
                              const std::u16string& wildcard, const std::u16string& match);
  // Ends the program: destroys the window and quits the message loop.
  void Close();
  bool Closed() const { return FClosed; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void FormCreate();
  void FormDestroy();
  void WMClose(WPARAM wp, LPARAM lp);
  LRESULT WMSysCommand(WPARAM wp, LPARAM lp);
  void WMNewVersion(WPARAM wp);
  void WMReportChannel();
  void HookThreadServiceNotRun(THookThread* sender, bool& successed);
  void ShowInfoTip();
  void HideApplication();

  bool FClosed = false;
  std::wstring FLauncherName;  // exe name of the process that started us, read at creation
  HIMAGELIST FSystemImages = nullptr;  // the shell's list, shared, never destroyed by us
  std::unique_ptr<TfrmListView> FListViewForm;  // host of the result lists; outlives them
  std::unique_ptr<THookThread> FHookThread;
  std::unique_ptr<TfrmInfoTip> FInfoTip;

  // Debugging aids, on screen only while a debugger is attached (the form shows then).
  // Button1 turns on and off a trace, once a second, of the window chain under the cursor
  // (Timer1Timer); Button2 lets the form stand in for an Explorer window and sends one search,
  // so the service can be tried without Explorer.
  void CreateDebugButtons();
  void Button1Click();
  void Button2Click();
  void Timer1Timer();

  bool FTimer1Enabled = false;
};
