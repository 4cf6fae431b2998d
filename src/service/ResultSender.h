#pragma once
// One connection to the requesting program's "SearchResultPipe". Only a pipe served by the
// process that asked is accepted: an instance of another process (another user's program, or
// an impostor) is refused and the connection is tried again until the time is up. Another
// thread may abort the connection while a transfer waits on a program that stopped reading:
// the transfer is cancelled, and once aborted nothing more is sent, not even the end marker
// (which would block again on such a program). A cancel that comes just before a transfer
// begins finds nothing to cancel, so the one who aborts repeats it while the transfer lasts.
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
  // Sends the end marker, unless aborted.
  void SendEndMarker();
  // Closes the connection (without the end marker: the program sees its end all the same);
  // never while another thread may abort it.
  void Close();
  // From another thread: ends a transfer that does not finish (a stalled program), and every
  // one after it.
  void Abort();

 private:
  // The pipe when served by the asking process; empty otherwise.
  UniqueFileHandle OpenPipe(const std::wstring& path) const;

  DWORD clientProcessId_;
  UniqueFileHandle pipe_;
  std::atomic<bool> aborted_{false};
};
