#pragma once
// One connection to the requesting program's "SearchResultPipe". Only a pipe served by the
// process that asked is accepted: an instance of another process (another user's program, or
// an impostor) is refused and the connection is tried again until the time is up. Messages
// may be written ahead of their replies, a bounded window of them, so an answer is not paced
// by one round trip per item; the replies are taken in as they come, in order. Another thread
// may abort the connection while a transfer waits on a program that stopped reading: the
// transfer is cancelled, and once aborted nothing more is sent, not even the end marker
// (which would block again on such a program). A cancel that comes just before a transfer
// begins finds nothing to cancel, so the one who aborts repeats it while the transfer lasts.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/FrameCounter.h"
#include "core/MessageData.h"
#include "win/common/Handle.h"
#include "win/ipc/FrameIo.h"

class ResultSender {
 public:
  // Messages written and not yet answered, at most. The program answers each with an empty
  // frame, which its server writes into an instance buffer of TIPCServer::kPipeBufferSize
  // bytes. While every reply of a full window fits there, the server's writes never wait on
  // us, so it always goes on to read our next message and the two sides can never both be
  // blocked writing; our own writes wait at most until it has read. Half the buffer leaves
  // room to spare.
  static constexpr std::size_t kWindow = 32;

  explicit ResultSender(DWORD clientProcessId);
  ~ResultSender();
  ResultSender(const ResultSender&) = delete;
  ResultSender& operator=(const ResultSender&) = delete;

  // Connects within timeoutMs; false when the right program could not be reached.
  bool Connect(std::uint32_t timeoutMs);
  // Writes one message without waiting for its reply, after taking in replies while the
  // window is full; false when the pipe failed or was aborted. With moreAtOnce (another
  // message follows at once) it may wait here for the next ones, up to one pipe buffer's worth,
  // to go out in one write; a message with none to follow at once goes out before Post returns,
  // with every one held before it.
  bool Post(const IMessageData& message, bool moreAtOnce = false);
  // Waits until every message written so far has been answered.
  bool Drain();
  // Post and Drain: the message and all before it answered.
  bool Send(const IMessageData& message) { return Post(message) && Drain(); }
  // Takes in the replies still due, then sends the end marker; neither once aborted or out of
  // step with the program.
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
  // Blocks until at least one byte of the replies due arrives, and takes in all that came.
  bool ReadReplies();
  // Writes the messages held back, in one write.
  bool WriteHeld();
  // Takes in replies until at most atMost messages are unanswered, the held ones written first.
  bool AwaitReplies(std::size_t atMost);
  bool Usable() const { return pipe_ && !broken_ && !aborted_; }

  DWORD clientProcessId_;
  UniqueFileHandle pipe_;
  FrameCounter replies_;
  std::size_t unanswered_ = 0;  // written or held, and not yet answered
  TFrameBatch held_;  // frames laid out, not yet written
  bool broken_ = false;  // a transfer failed: the stream is out of step
  std::atomic<bool> aborted_{false};
};
