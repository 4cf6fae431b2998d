#include "app/ServicePeer.h"

#include "core/SearchMessages.h"
#include "core/ServiceName.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"
#include "win/svc/ServiceProcess.h"

bool IsTrustedServicePeer(DWORD processId) {
  if (processId == 0) return false;
  // The user's own processes first: asking the service control manager is a remote call, which
  // under Wine alone costs several milliseconds on the way to the first row.
  return RunsAsCurrentUser(processId) || processId == ServiceProcessId(W(kRuvoServiceName));
}

TServiceRequestClient::TServiceRequestClient() {
  SetServerName(kSearchRequestPipe);
  SetAllowImpersonation(true);
}

HANDLE TServiceRequestClient::OpenPipe(const std::wstring& path) {
  UniqueFileHandle pipe(TIPCClient::OpenPipe(path));
  if (!pipe) return INVALID_HANDLE_VALUE;
  ULONG serverPid = 0;
  if (!::GetNamedPipeServerProcessId(pipe.get(), &serverPid) || !IsTrustedServicePeer(serverPid)) {
    pipe.reset();
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return pipe.release();
}

bool TResultPeerCheck::Allows(const TCommContext& context) {
  {
    std::lock_guard lock(FLock);
    if (const auto it = FVerdicts.find(context.ID()); it != FVerdicts.end()) return it->second;
  }
  ULONG clientPid = 0;
  const bool trusted = context.Pipe() && ::GetNamedPipeClientProcessId(context.Pipe(), &clientPid) &&
                       IsTrustedServicePeer(clientPid);
  std::lock_guard lock(FLock);
  if (FVerdicts.size() >= kMaxRemembered) FVerdicts.clear();
  FVerdicts.emplace(context.ID(), trusted);
  return trusted;
}
