#pragma once
// A thin wrapper of the service control manager for one service. Every operation opens the
// manager (and the service where it needs it) and closes both before it returns. A failed
// open or call is recorded in LastErrorCode and LastErrorMsg and the operation answers false;
// reading or changing the configuration raises EOSError (and the messages below) instead.
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

enum class TServiceStartup : DWORD {
  ssAutomatic = SERVICE_AUTO_START,
  ssManual = SERVICE_DEMAND_START,
  ssDisabled = SERVICE_DISABLED,
};

enum class TServiceErrorControl : DWORD {
  seIgnore = SERVICE_ERROR_IGNORE,
  seNormal = SERVICE_ERROR_NORMAL,
  seSevere = SERVICE_ERROR_SEVERE,
  seCritical = SERVICE_ERROR_CRITICAL,
};

enum class TServiceCurrentState {
  ssNotInstalled,  // the service cannot be opened
  ssUnknown,       // the status query failed, or a state not listed
  ssStopped,
  ssStartPending,
  ssStopPending,
  ssRunning,
  ssContinuePending,
  ssPausePending,
  ssPause,
};

// A configuration the manager reports with a start type or error control not listed above.
class EServiceConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCnNTService {
 public:
  // The longest Start may be followed by WaitWhileStartPending, whatever the service's hint.
  static constexpr DWORD kStartPendingLimit = 30000;

  // An empty computer name is the local machine.
  explicit TCnNTService(std::wstring serviceName, std::wstring computerName = L"");

  const std::wstring& ComputerName() const { return FComputerName; }
  const std::wstring& ServiceName() const { return FServiceName; }
  DWORD LastErrorCode() const { return FLastErrorCode; }
  const std::wstring& LastErrorMsg() const { return FLastErrorMsg; }

  bool IsInstalled();
  // Stopped, so a start may be tried.
  bool CanStart();
  TServiceCurrentState CurrentState();

  // Read once from the manager and then remembered; ssAutomatic and seIgnore while the
  // service cannot be opened. Writing reads the configuration afresh and changes only what
  // differs.
  TServiceStartup StartType();
  void SetStartType(TServiceStartup value);
  TServiceErrorControl ErrorControl();
  void SetErrorControl(TServiceErrorControl value);

  // Creates the service as an own, interactive process run by LocalSystem, automatic, error
  // control ignore. True also when a service of that name exists already.
  bool Install(const std::wstring& serviceFileName, const std::wstring& displayName);
  // True also when the service is running already.
  bool Start();
  // While the service reports start-pending, pauses (pause(ms) gets the length of each pause)
  // and looks again: at most as long as the service's own wait hint since it last showed
  // progress, and never longer than limitMs in all. Answers the state it ends in.
  TServiceCurrentState WaitWhileStartPending(const std::function<void(DWORD)>& pause,
                                             DWORD limitMs = kStartPendingLimit);

 private:
  class Session;
  void RecordFailure(const wchar_t* text);
  bool QueryStatus(SERVICE_STATUS& status);
  void QueryConfig();
  void ChangeConfig(DWORD startType, DWORD errorControl);

  std::wstring FComputerName;
  DWORD FLastErrorCode = 0;
  std::wstring FLastErrorMsg;
  std::wstring FServiceName;
  bool FConfigQueried = false;
  TServiceStartup FStartType = TServiceStartup::ssAutomatic;
  TServiceErrorControl FErrorControl = TServiceErrorControl::seIgnore;
};

// The state a SERVICE_STATUS value stands for; ssUnknown for a value not listed.
TServiceCurrentState ServiceStateFromWin32(DWORD state);
