#include "app/ServiceSupervision.h"

#include "app/Elevation.h"
#include "core/ElevatedArguments.h"
#include "core/ServiceName.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"
#include "win/svc/TCnNTService.h"
#include "win/common/Trace.h"

namespace {
constexpr wchar_t kTaskInstall[] = L"/SvcInstall";

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

std::wstring ServiceProgramPath() { return ExeDirectory() + L"RuvoService.exe"; }

TServiceIdentity RuvoServiceIdentity() { return {W(kRuvoServiceName), kRuvoServiceDisplayName, ServiceProgramPath()}; }

bool InstallAndStartService(const TServiceIdentity& identity, const std::function<void(DWORD)>& pause) {
  TCnNTService service(identity.name);
  try {
    const bool programThere = FileExists(identity.program);
    if (programThere && service.StartType() == TServiceStartup::ssAutomatic &&
        service.CurrentState() == TServiceCurrentState::ssRunning)
      return true;
    const bool installed = service.IsInstalled();
    if (!programThere && !installed) return false;
    // Quoted, so a folder with spaces cannot be read as another program and its arguments.
    if (!installed) service.Install(L"\"" + identity.program + L"\"", identity.displayName);
    service.SetStartType(TServiceStartup::ssAutomatic);
    service.SetErrorControl(TServiceErrorControl::seNormal);
    if (service.CurrentState() != TServiceCurrentState::ssRunning && service.CanStart()) service.Start();
    // A service that has only begun to start is given its time before it counts as failed.
    TServiceCurrentState state = service.CurrentState();
    if (state == TServiceCurrentState::ssStartPending) state = service.WaitWhileStartPending(pause);
    return state == TServiceCurrentState::ssRunning;
  } catch (const std::exception& e) {
    TraceUtf8(e.what());
    return false;
  }
}

bool InstallAndStartService(const std::function<void(DWORD)>& pause) {
  return InstallAndStartService(RuvoServiceIdentity(), pause);
}

DWORD ElevatedTaskHandler(const std::wstring& parameters) {
  if (parameters != kTaskInstall) return ERROR_GEN_FAILURE;
  // Only the service program beside this exe is ever installed, by its full path.
  const std::wstring program = ServiceProgramPath();
  if (!IsAbsoluteWindowsPath(U(program)) || !FileExists(program)) return ERROR_GEN_FAILURE;
  return InstallAndStartService([](DWORD ms) { ::Sleep(ms); }) ? 0 : ERROR_SERVICE_DOES_NOT_EXIST;
}

TServiceSupervision::TServiceSupervision(HWND owner, std::function<void()> close, std::function<void()> pump)
    : FOwner(owner), FPump(std::move(pump)), FClose(std::move(close)) {}

bool TServiceSupervision::IsAdministrator() { return ::IsAdministrator(); }

bool TServiceSupervision::InstallAndStartService() {
  return ::InstallAndStartService([this](DWORD ms) { PauseServing(ms); });
}

DWORD TServiceSupervision::RunElevated(const std::wstring& parameters) {
  return ::RunElevated(parameters, FOwner, FPump);
}

std::wstring TServiceSupervision::ServiceProgram() { return ServiceProgramPath(); }

int TServiceSupervision::Show(const wchar_t* text, UINT type) {
  wchar_t title[64] = L"";
  ::GetWindowTextW(FOwner, title, 64);
  return ::MessageBoxW(FOwner, text, title, type);
}

void TServiceSupervision::PauseServing(DWORD ms) {
  // The main thread's messages keep flowing while the service starts.
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    FPump();
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void TServiceSupervision::HookThreadServiceNotRun(bool& successed, const std::function<void()>& retryLater) {
  successed = false;
  if (!FileExists(ServiceProgram())) {
    Show(L"找不到搜索后台程序文件，请重新安装该应用程序", MB_ICONINFORMATION);
    // The program stays open: a reinstalled service is found at a later check.
    retryLater();
    return;
  }
  bool ok;
  if (IsAdministrator()) {
    ok = InstallAndStartService();
  } else {
    if (Show(L"搜索后台程序服务没有运行，是否启动搜索后台程序服务？", MB_ICONQUESTION | MB_YESNO) != IDYES) {
      Show(L"搜索后台程序服务没有运行，程序即将退出。", MB_ICONINFORMATION);
      FClose();
      return;
    }
    ok = RunElevated(kTaskInstall) == 0;
  }
  if (ok) {
    successed = true;
    return;
  }
  ForceForegroundWindow(FOwner, true);
  Show(L"无法启动搜索后台服务程序，请重新安装本程序。", MB_SETFOREGROUND | MB_ICONERROR);
  FClose();
}
