// RuvoSearch.exe: refuses 64-bit Windows and a second instance, then runs the hidden main
// form until another process asks it to close.
#include <windows.h>

#include <commctrl.h>

#include "app/Elevation.h"
#include "app/MainForm.h"
#include "app/ServiceSupervision.h"
#include "win/common/ComScope.h"
#include "win/common/Handle.h"
#include "win/shell/ShellUtils.h"
#include "win/thread/MessagePump.h"
#include "win/thread/TThread.h"

namespace {
constexpr wchar_t kMutexName[] = L"RuvoSearch.{1759DA90-5641-4B2F-87EE-EA112C3374C0}";

int RunMainForm() {
  MainThread::Init();
  TfrmRuvoSearch form;
  if (::IsDebuggerPresent()) form.Show();
  // Calls queued by other threads run when their wake message arrives, and also when it could
  // not be posted (a full message queue): the queue's event wakes this loop as well.
  const HANDLE queued = MainThread::QueueEvent();
  while (!form.Closed()) {
    if (::MsgWaitForMultipleObjectsEx(1, &queued, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0)
      MainThread::CheckSynchronize();
    if (PumpMessages(TQuitRule::qrStop, [&] { return form.Closed(); })) return 0;
  }
  return 0;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The elevated helper instance does its task and ends here, before any window or check.
  OnElevateProc = ElevatedTaskHandler;
  HandleElevatedInvocation();
#if !defined(_WIN64)
  // The 32-bit edition leaves 64-bit Windows to the 64-bit one.
  if (Is64Bit()) {
    ::MessageBoxW(nullptr, L"64位系统请使用64位专用版本。", TfrmRuvoSearch::kCaption, MB_ICONINFORMATION);
    return 0;
  }
#endif
  UniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, kMutexName));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::MessageBoxW(nullptr, L"程序已经正在运行。", TfrmRuvoSearch::kCaption, MB_ICONINFORMATION);
    return 0;
  }
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&icc);
  {
    const ComScope com;
    RunMainForm();
  }
  if (mutex) ::ReleaseMutex(mutex.get());
  return 0;
}
