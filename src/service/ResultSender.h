#pragma once
// One connection to the requesting program's "SearchResultPipe". Only a pipe served by the
// process that asked is accepted: an instance of another process (another user's program, or
// an impostor) is refused and the connection is tried again until the time is up.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "win/ipc/IPCClient.h"

class ResultSender : public TIPCClient {
 public:
  explicit ResultSender(DWORD clientProcessId);

  // Connects within timeoutMs; false when the right program could not be reached.
  bool Connect(std::uint32_t timeoutMs);
  // Sends one message and waits for its reply; false when the pipe failed or was aborted.
  bool Send(const IMessageData& message);
  // From another thread: ends a send that does not finish (a stalled program).
  void Abort();

 protected:
  HANDLE OpenPipe(const std::wstring& path) override;

 private:
  DWORD clientProcessId_;
  std::atomic<HANDLE> pipe_{INVALID_HANDLE_VALUE};
  std::atomic<bool> aborted_{false};
};
