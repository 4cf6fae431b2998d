#pragma once
// Who may be at the other end of the program's pipes. Pipe names are machine-wide: any process
// can serve "SearchRequestPipe" while the service does not, or write into "SearchResultPipe".
// The program talks only to the running search service or to a process of its own user (the
// service's console mode), which gains nothing the user did not have already.
#include <windows.h>

#include <mutex>
#include <string>
#include <unordered_map>

#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"

bool IsTrustedServicePeer(DWORD processId);

// The program's client of the service's request pipe. It lets the server impersonate it (the
// service lists folders as this user), so it gives its first byte only to a trusted server: a
// server can impersonate its client only after reading from it. An untrusted server fails the
// connection with ERROR_ACCESS_DENIED.
class TServiceRequestClient : public TIPCClient {
 public:
  TServiceRequestClient();

 protected:
  HANDLE OpenPipe(const std::wstring& path) override;
};

// The result server's check of its clients, once per connection: items and update
// announcements count only from a trusted peer.
class TResultPeerCheck {
 public:
  bool Allows(const TCommContext& context);

 private:
  // Verdicts by connection; the few connections an answer uses at a time keep it small.
  static constexpr std::size_t kMaxRemembered = 64;
  std::mutex FLock;
  std::unordered_map<std::u16string, bool> FVerdicts;
};
