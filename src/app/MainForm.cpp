#include "app/MainForm.h"

#include <commctrl.h>

#include <string>

#include "app/HookThread.h"
#include "app/InfoTipForm.h"
#include "core/Channel.h"
#include "core/SearchMessages.h"
#include "win/common/WideText.h"
#include "win/common/WindowValue.h"
#include "app/ServicePeer.h"
#include "win/resultview/ListViewForm.h"
#include "win/shell/ShellUtils.h"
#include "win/common/Trace.h"

namespace {
constexpr wchar_t kClassName[] = L"TfrmRuvoSearch";
constexpr UINT_PTR kTimer1 = 1;
constexpr int kButton1Id = 101;
constexpr int kButton2Id = 102;
constexpr int kDesignDpi = 120;  // the form's lengths were laid out at 120 pixels per inch

int Scaled(int n) {
  WindowDc screen(nullptr);
  return ::MulDiv(n, ::GetDeviceCaps(screen.get(), LOGPIXELSY), kDesignDpi);
}
}  // namespace

TfrmRuvoSearch::TfrmRuvoSearch() {
  RECT r{0, 0, Scaled(916), Scaled(507)};
  ::AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  ::OffsetRect(&r, -r.left, -r.top);
  if (!CreateOwnWindow(kClassName, WS_OVERLAPPEDWINDOW, 0, nullptr, r))
    throw std::runtime_error("Cannot create the main form");
  ::SetWindowTextW(Handle(), kCaption);
  CreateDebugButtons();
  FormCreate();
}

TfrmRuvoSearch::~TfrmRuvoSearch() {
  FormDestroy();
  DestroyHandle();
}

void TfrmRuvoSearch::Close() {
  if (FClosed) return;
  FClosed = true;
  ::PostQuitMessage(0);
}

void TfrmRuvoSearch::FormCreate() {
  // Read before anything slow: a launcher such as the installer ends right after starting us,
  // and with it the name that carries the channel.
  FLauncherName = GetProcessExeName(GetParentProcessID(::GetCurrentProcessId()));
  FHookThread = std::make_unique<THookThread>(this);
  FHookThread->OnAddSearchResult = &TfrmRuvoSearch::AddSearchResult;
  FHookThread->OnServiceNotRun = [this](THookThread* sender, bool& successed) {
    HookThreadServiceNotRun(sender, successed);
  };
  try {
    FHookThread->CBTHook().Start();
  } catch (const EHookWindowError& e) {
    // Without its listener window the program runs on without hook events.
    Trace(e.Message());
  }
  FHookThread->Start();
  FSystemImages = GetSystemImageList(0);
  FListViewForm = std::make_unique<TfrmListView>();
  FListViewForm->SetBounds(FListViewForm->Left(), FListViewForm->Top(), 0, 0);
  FListViewForm->Show();
  ::PostMessageW(Handle(), WM_REPORTCHANNEL, 0, 0);
}

void TfrmRuvoSearch::FormDestroy() {
  if (!FHookThread) return;
  FHookThread->Terminate();
  FHookThread->WaitFor();
  FHookThread.reset();
}

LRESULT TfrmRuvoSearch::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      ::GetClientRect(Handle(), &r);
      ::FillRect(reinterpret_cast<HDC>(wp), &r, ::GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_CLOSE:
      WMClose(wp, lp);
      return 0;
    case WM_SYSCOMMAND:
      return WMSysCommand(wp, lp);
    case WM_NEWVERSION:
      WMNewVersion(wp);
      return 0;
    case WM_REPORTCHANNEL:
      WMReportChannel();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && LOWORD(wp) == kButton1Id) Button1Click();
      if (HIWORD(wp) == BN_CLICKED && LOWORD(wp) == kButton2Id) Button2Click();
      return 0;
    case WM_TIMER:
      if (wp == kTimer1) Timer1Timer();
      return 0;
  }
  return TWinControl::WndProc(msg, wp, lp);
}

void TfrmRuvoSearch::WMClose(WPARAM wp, LPARAM lp) {
  // Only these two forms are honoured: an ordinary close request must not end the program.
  if (wp == 10 && lp == 10)
    Close();
  else if (wp == 10 && lp == 11)
    ShowInfoTip();
}

LRESULT TfrmRuvoSearch::WMSysCommand(WPARAM wp, LPARAM lp) {
  if ((wp & 0xFFF0) == SC_CLOSE) {
    HideApplication();
    return 0;
  }
  return TWinControl::WndProc(WM_SYSCOMMAND, wp, lp);
}

void TfrmRuvoSearch::HideApplication() {
  // Minimising a hidden form would show it and hand the activation to another window.
  if (::IsWindowVisible(Handle()) && !::IsIconic(Handle())) ::ShowWindow(Handle(), SW_MINIMIZE);
  ::ShowWindow(Handle(), SW_HIDE);
}

void TfrmRuvoSearch::WMNewVersion(WPARAM wp) {
  if (!FHookThread || wp != reinterpret_cast<WPARAM>(FHookThread.get())) return;
  const TUpdateInfoRec info = FHookThread->UpdateInfo();
  std::wstring text = L"发现新版本 %s，是否升级？";
  text.replace(text.find(L"%s"), 2, W(info.Version));
  if (::MessageBoxW(Handle(), text.c_str(), kCaption, MB_ICONQUESTION | MB_YESNO) == IDYES) RunProgram(W(info.FileName));
}

void TfrmRuvoSearch::WMReportChannel() {
  FHookThread->SendRequest(BuildChannelReport(ChannelFromExeName(U(FLauncherName))), false);
}

void TfrmRuvoSearch::ShowInfoTip() {
  if (!FInfoTip) FInfoTip = std::make_unique<TfrmInfoTip>();
  FInfoTip->ShowCentred();
}

// Debugging aids: the form shows only while a debugger is attached (main.cpp), and then these
// buttons let a developer look at windows and try the service without Explorer.

void TfrmRuvoSearch::CreateDebugButtons() {
  const HINSTANCE inst = ::GetModuleHandleW(nullptr);
  // Child windows of the form: they go with it.
  ::CreateWindowExW(0, L"BUTTON", L"Button1", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, Scaled(816), Scaled(416),
                    Scaled(75), Scaled(25), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButton1Id)), inst,
                    nullptr);
  ::CreateWindowExW(0, L"BUTTON", L"Button2", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, Scaled(480), Scaled(360),
                    Scaled(75), Scaled(25), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButton2Id)), inst,
                    nullptr);
}

void TfrmRuvoSearch::Button1Click() {
  FTimer1Enabled = !FTimer1Enabled;
  if (FTimer1Enabled)
    ::SetTimer(Handle(), kTimer1, 1000, nullptr);
  else
    ::KillTimer(Handle(), kTimer1);
}

void TfrmRuvoSearch::Timer1Timer() {
  POINT pt;
  ::GetCursorPos(&pt);
  for (HWND w = ::WindowFromPoint(pt); ::IsWindow(w); w = ::GetParent(w)) {
    wchar_t cls[256] = L"";
    ::GetClassNameW(w, cls, 256);
    const std::wstring line = std::to_wstring(reinterpret_cast<UINT_PTR>(w)) + L": " + cls;
    Trace(line);
  }
  Trace(std::wstring(56, L'-'));
}

void TfrmRuvoSearch::Button2Click() {
  // A search box of our own: the form stands in for an Explorer window, so a service can be
  // tried without Explorer.
  const auto handle = WindowValue(Handle());
  auto rec = std::make_unique<TWindowRec>();
  rec->SearchType = TSearchType::stExplorer;
  rec->MainForm = rec->SearchBox = rec->FileHandle = handle;
  rec->Edit = std::make_unique<TImageEdit>();
  rec->Edit->SetParentWindow(Handle());
  rec->Edit->SetText(u"shell111111111111111");
  rec->ExplorerPath = u"D:\\";
  const IMessageData request = BuildSearchRequest(rec->ExplorerPath, rec->Edit->Text(), handle);
  FHookThread->WindowList().AddItem(WindowKey(handle), rec.release());
  TServiceRequestClient client;
  client.ExecuteRequest(request, 5000);
}
