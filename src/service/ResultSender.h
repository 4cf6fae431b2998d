#pragma once
// One connection to the requesting program's "SearchResultPipe". Only a pipe served by the
// process that asked is accepted: an instance of another process (another user's program, or
// an impostor) is refused and the connection is tried again until the time is up. Every
// transfer, the end marker included, is overlapped and waits on an abort event as well: once
// aborted, nothing more is sent and no transfer waits, however the abort and the transfer
// fall in time. (Cancelling the I/O instead misses a transfer that begins just after it, and
// the end marker that follows a cancelled send blocks again on a program that never reads.)
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "core/MessageData.h"
#include "win/common/Handle.h"

class ResultSender {
 public:
  explicit ResultSender(DWORD clientProcessId);
  ~ResultSender();
  ResultSender(const ResultSender&) = delete;
  ResultSender& operator=(const ResultSender&) = delete;

  // Connects within timeoutMs; false when the right program could not be reached.
  bool Connect(std::uint32_t timeoutMs);
  // Sends one message and waits for its reply; false when the pipe failed or was aborted.
  bool Send(const IMessageData& message);
  // Sends the end marker (unless aborted) and closes the connection.
  void DisconnectClient();
  // From another thread: ends a transfer that does not finish (a stalled program), and every
  // one after it.
  void Abort();

 private:
  // The pipe when served by the asking process; empty otherwise.
  UniqueFileHandle OpenPipe(const std::wstring& path) const;

  DWORD clientProcessId_;
  UniqueFileHandle pipe_;
  UniqueKernelHandle abort_;
  std::atomic<bool> aborted_{false};
};
