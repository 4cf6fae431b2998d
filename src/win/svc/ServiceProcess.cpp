#include "win/svc/ServiceProcess.h"

#include "win/common/Handle.h"

DWORD ServiceProcessId(const std::wstring& serviceName) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  UniqueScHandle service(::OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
    return 0;
  return status.dwCurrentState == SERVICE_STOPPED ? 0 : status.dwProcessId;
}
