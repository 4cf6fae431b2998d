#include "win/svc/TCnNTService.h"

#include <algorithm>
#include <vector>

#include "win/common/Errors.h"
#include "win/common/Handle.h"

namespace {
constexpr DWORD kManagerAccess = SC_MANAGER_ALL_ACCESS | GENERIC_WRITE | GENERIC_EXECUTE;
constexpr DWORD kServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
// How often a start-pending service is looked at: a tenth of its hint, within these bounds.
constexpr DWORD kMinPendingPoll = 100;
constexpr DWORD kMaxPendingPoll = 1000;
// A service that has not yet given a hint (or gives none) still gets this long to show progress.
constexpr DWORD kMinWaitHint = 2000;
}  // namespace

// The manager and the service, open for one operation.
class TCnNTService::Session {
 public:
  Session(TCnNTService& owner, bool needService) {
    const wchar_t* machine = owner.FComputerName.empty() ? nullptr : owner.FComputerName.c_str();
    manager_.reset(::OpenSCManagerW(machine, nullptr, kManagerAccess));
    if (!manager_) {
      owner.RecordFailure(L"OpenSCManager fail.");
      return;
    }
    if (!needService) return;
    service_.reset(::OpenServiceW(manager_.get(), owner.FServiceName.c_str(), SERVICE_ALL_ACCESS));
    if (!service_) owner.RecordFailure(L"OpenService fail");
  }
  SC_HANDLE Manager() const { return manager_.get(); }
  SC_HANDLE Service() const { return service_.get(); }

 private:
  UniqueScHandle manager_;
  UniqueScHandle service_;
};

TServiceCurrentState ServiceStateFromWin32(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return TServiceCurrentState::ssStopped;
    case SERVICE_START_PENDING: return TServiceCurrentState::ssStartPending;
    case SERVICE_STOP_PENDING: return TServiceCurrentState::ssStopPending;
    case SERVICE_RUNNING: return TServiceCurrentState::ssRunning;
    case SERVICE_CONTINUE_PENDING: return TServiceCurrentState::ssContinuePending;
    case SERVICE_PAUSE_PENDING: return TServiceCurrentState::ssPausePending;
    case SERVICE_PAUSED: return TServiceCurrentState::ssPause;
    default: return TServiceCurrentState::ssUnknown;
  }
}

TCnNTService::TCnNTService(std::wstring serviceName, std::wstring computerName)
    : FComputerName(std::move(computerName)), FServiceName(std::move(serviceName)) {}

void TCnNTService::RecordFailure(const wchar_t* text) {
  FLastErrorCode = ::GetLastError();
  FLastErrorMsg = text;
}

bool TCnNTService::IsInstalled() {
  Session s(*this, true);
  return s.Service() != nullptr;
}

bool TCnNTService::QueryStatus(SERVICE_STATUS& status) {
  Session s(*this, true);
  if (!s.Service()) return false;
  if (::QueryServiceStatus(s.Service(), &status)) return true;
  RecordFailure(L"GetStatus fail");
  return false;
}

bool TCnNTService::CanStart() {
  SERVICE_STATUS status{};
  return QueryStatus(status) && status.dwCurrentState == SERVICE_STOPPED;
}

TServiceCurrentState TCnNTService::CurrentState() {
  Session s(*this, true);
  if (!s.Service()) return TServiceCurrentState::ssNotInstalled;
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(s.Service(), &status)) {
    RecordFailure(L"GetStatus fail");
    return TServiceCurrentState::ssUnknown;
  }
  return ServiceStateFromWin32(status.dwCurrentState);
}

void TCnNTService::QueryConfig() {
  Session s(*this, true);
  if (!s.Service()) return;  // the defaults stay
  DWORD needed = 0;
  if (!::QueryServiceConfigW(s.Service(), nullptr, 0, &needed) && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastOSError();
  // The manager sizes the whole record; a configuration cannot be larger than its limit.
  needed = std::max<DWORD>(needed, sizeof(QUERY_SERVICE_CONFIGW));
  if (needed > 8 * 1024) needed = 8 * 1024;
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(s.Service(), config, needed, &needed)) RaiseLastOSError();
  switch (config->dwStartType) {
    case SERVICE_AUTO_START:
    case SERVICE_DEMAND_START:
    case SERVICE_DISABLED:
      break;
    default:
      throw EServiceConfigError("Service Start Type unknown");
  }
  if (config->dwErrorControl > SERVICE_ERROR_CRITICAL) throw EServiceConfigError("Service Error Control unknown");
  FStartType = static_cast<TServiceStartup>(config->dwStartType);
  FErrorControl = static_cast<TServiceErrorControl>(config->dwErrorControl);
  FConfigQueried = true;
}

TServiceStartup TCnNTService::StartType() {
  if (!FConfigQueried) QueryConfig();
  return FStartType;
}

TServiceErrorControl TCnNTService::ErrorControl() {
  if (!FConfigQueried) QueryConfig();
  return FErrorControl;
}

void TCnNTService::ChangeConfig(DWORD startType, DWORD errorControl) {
  Session s(*this, true);
  if (!s.Service()) return;
  if (!::ChangeServiceConfigW(s.Service(), SERVICE_NO_CHANGE, startType, errorControl, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr))
    RaiseLastOSError();
}

void TCnNTService::SetStartType(TServiceStartup value) {
  FConfigQueried = false;
  QueryConfig();
  if (value == FStartType) return;
  ChangeConfig(static_cast<DWORD>(value), SERVICE_NO_CHANGE);
  FStartType = value;
}

void TCnNTService::SetErrorControl(TServiceErrorControl value) {
  FConfigQueried = false;
  QueryConfig();
  if (value == FErrorControl) return;
  ChangeConfig(SERVICE_NO_CHANGE, static_cast<DWORD>(value));
  FErrorControl = value;
}

bool TCnNTService::Install(const std::wstring& serviceFileName, const std::wstring& displayName) {
  Session s(*this, false);
  if (!s.Manager()) return false;
  UniqueScHandle created(::CreateServiceW(s.Manager(), FServiceName.c_str(), displayName.c_str(), GENERIC_EXECUTE,
                                          kServiceType, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                          serviceFileName.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (created || ::GetLastError() == ERROR_SERVICE_EXISTS) return true;
  RecordFailure(L"CreateService fail.");
  return false;
}

bool TCnNTService::Start() {
  Session s(*this, true);
  if (!s.Service()) return false;
  if (::StartServiceW(s.Service(), 0, nullptr) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) return true;
  RecordFailure(L"StartService fail");
  return false;
}

TServiceCurrentState TCnNTService::WaitWhileStartPending(const std::function<void(DWORD)>& pause, DWORD limitMs) {
  const ULONGLONG start = ::GetTickCount64();
  ULONGLONG progressAt = start;
  DWORD checkPoint = 0;
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryStatus(status)) return CurrentState();
    if (status.dwCurrentState != SERVICE_START_PENDING) return ServiceStateFromWin32(status.dwCurrentState);
    const ULONGLONG now = ::GetTickCount64();
    if (status.dwCheckPoint != checkPoint) {
      checkPoint = status.dwCheckPoint;
      progressAt = now;
    }
    const DWORD hint = std::max(status.dwWaitHint, kMinWaitHint);
    const ULONGLONG hintEnd = progressAt + hint;
    const ULONGLONG end = std::min<ULONGLONG>(hintEnd, start + limitMs);
    if (now >= end) return TServiceCurrentState::ssStartPending;
    const DWORD poll = std::clamp<DWORD>(hint / 10, kMinPendingPoll, kMaxPendingPoll);
    pause(static_cast<DWORD>(std::min<ULONGLONG>(poll, end - now)));
  }
}
