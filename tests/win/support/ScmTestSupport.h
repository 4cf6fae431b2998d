#pragma once
// Services the tests install in the test prefix's service control manager under names of
// their own, and remove again however a test ends. Every wait is bounded.
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace scm_testing {

inline SERVICE_STATUS_PROCESS Status(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed))
    status.dwCurrentState = 0;
  return status;
}

inline bool WaitForState(SC_HANDLE service, DWORD state, DWORD limitMs) {
  const ULONGLONG end = ::GetTickCount64() + limitMs;
  for (;;) {
    if (Status(service).dwCurrentState == state) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(50);
  }
}

// Stops (bounded; a service that does not stop has its process ended) and deletes the
// service of that name, if there is one.
inline void RemoveService(const std::wstring& name) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  UniqueScHandle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return;
  SERVICE_STATUS ignored{};
  const DWORD pid = Status(service.get()).dwProcessId;
  if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored) ||
      !WaitForState(service.get(), SERVICE_STOPPED, 10000)) {
    UniqueKernelHandle process(pid ? ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr);
    if (process) {
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
    }
    WaitForState(service.get(), SERVICE_STOPPED, 5000);
  }
  ::DeleteService(service.get());
}

// Removes the service at the start and the end of a scope.
class ServiceCleanup {
 public:
  explicit ServiceCleanup(std::wstring name) : name_(std::move(name)) { RemoveService(name_); }
  ~ServiceCleanup() { RemoveService(name_); }
  ServiceCleanup(const ServiceCleanup&) = delete;
  ServiceCleanup& operator=(const ServiceCleanup&) = delete;

 private:
  std::wstring name_;
};

struct Config {
  bool read = false;
  DWORD type = 0, startType = 0, errorControl = 0;
  std::wstring binaryPath, displayName, account;
};

// The configuration as the manager reports it.
inline Config ReadConfig(const std::wstring& name) {
  Config c;
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueScHandle service(manager ? ::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG) : nullptr);
  if (!service) return c;
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (needed == 0 || needed > 8192) return c;
  std::vector<BYTE> buffer(needed);
  auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.get(), q, needed, &needed)) return c;
  c.read = true;
  c.type = q->dwServiceType;
  c.startType = q->dwStartType;
  c.errorControl = q->dwErrorControl;
  c.binaryPath = q->lpBinaryPathName ? q->lpBinaryPathName : L"";
  c.displayName = q->lpDisplayName ? q->lpDisplayName : L"";
  c.account = q->lpServiceStartName ? q->lpServiceStartName : L"";
  return c;
}

inline bool Reconfigure(const std::wstring& name, DWORD startType, DWORD errorControl) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  UniqueScHandle service(manager ? ::OpenServiceW(manager.get(), name.c_str(), SERVICE_CHANGE_CONFIG) : nullptr);
  return service && ::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, startType, errorControl, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
}

// Tells the slow-starting fixture service beside exe how to behave.
inline void WritePendingPlan(const std::wstring& exe, const char* plan) {
  std::ofstream((exe + L".pending").c_str()) << plan;
}

inline std::wstring TempFolder(const std::wstring& name) {
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  const std::wstring dir = std::wstring(tmp) + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

}  // namespace scm_testing
