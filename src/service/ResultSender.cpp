#include "service/ResultSender.h"

#include <chrono>

#include "core/SearchMessages.h"
#include "win/common/WideText.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"

namespace {
// An empty reply: ID length 0, data size 0.
constexpr std::size_t kEmptyReplySize = 2 * kFrameFieldSize;
static_assert(ResultSender::kWindow * kEmptyReplySize <= TIPCServer::kPipeBufferSize / 2,
              "the replies of a full window must fit the program's pipe buffer");
}  // namespace

ResultSender::ResultSender(DWORD clientProcessId) : clientProcessId_(clientProcessId) {}

ResultSender::~ResultSender() { Close(); }

UniqueFileHandle ResultSender::OpenPipe(const std::wstring& path) const {
  UniqueFileHandle pipe(::CreateFileW(path.c_str(), TIPCClient::kPipeAccess, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
  if (!pipe) return pipe;
  ULONG serverPid = 0;
  if (!::GetNamedPipeServerProcessId(pipe.get(), &serverPid) || serverPid != clientProcessId_) {
    // Another process's instance took the connection: leave it and try again.
    pipe.reset();
    ::SetLastError(ERROR_PIPE_BUSY);
  }
  return pipe;
}

bool ResultSender::Connect(std::uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  Close();
  const std::wstring path = L"\\\\.\\pipe\\" + W(kSearchResultPipe);
  const Clock::time_point start = Clock::now();
  for (;;) {
    const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (aborted_ || used >= timeoutMs) return false;
    pipe_ = OpenPipe(path);
    if (pipe_) return true;
    const DWORD err = ::GetLastError();
    if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PIPE_BUSY) return false;
    // Never 0: that would ask for the server's default wait, far beyond the budget.
    if (!::WaitNamedPipeW(path.c_str(), static_cast<DWORD>(timeoutMs - used)) && ::GetLastError() == ERROR_FILE_NOT_FOUND)
      ::Sleep(1);  // no server at all: give the processor away instead of spinning
  }
}

// Blocking transfers: under Wine an overlapped one costs about three times the calls. A read
// of a byte pipe returns as soon as any bytes have come, with all that came (up to a full
// window's replies), so replies that piled up while we wrote cost one call together.
bool ResultSender::ReadReplies() {
  std::uint8_t buffer[kWindow * kEmptyReplySize];
  DWORD got = 0;
  if (!::ReadFile(pipe_.get(), buffer, sizeof buffer, &got, nullptr) && ::GetLastError() != ERROR_MORE_DATA) return false;
  if (got == 0 || !replies_.Feed(buffer, got)) return false;
  const std::size_t answered = replies_.TakeCompleted();
  // A reply to a message never sent: whatever answers here does not keep to the protocol.
  if (answered > unanswered_) return false;
  unanswered_ -= answered;
  if (unanswered_ == 0 && !replies_.AtBoundary()) return false;
  return !aborted_;
}

bool ResultSender::WriteHeld() {
  if (held_.Size() == 0) return true;
  TPipeIo io(pipe_.get(), false);
  if (held_.Flush(io).Ok() && !aborted_) return true;
  broken_ = true;
  return false;
}

bool ResultSender::AwaitReplies(std::size_t atMost) {
  if (unanswered_ <= atMost) return true;
  // The replies due include those of messages held here: they must go out first.
  if (!WriteHeld()) return false;
  while (unanswered_ > atMost)
    if (!ReadReplies()) {
      broken_ = true;
      return false;
    }
  return true;
}

bool ResultSender::Post(const IMessageData& message, bool moreAtOnce) {
  if (!Usable() || !message || !AwaitReplies(kWindow - 1)) return false;
  TPipeIo io(pipe_.get(), false);
  if (!held_.Add(io, *message).Ok() || aborted_) {
    broken_ = true;
    return false;
  }
  ++unanswered_;
  // Every write is a wineserver request under Wine; more than the program's pipe buffer holds
  // would only wait there.
  if (moreAtOnce && held_.Size() < TIPCServer::kPipeBufferSize) return true;
  return WriteHeld();
}

bool ResultSender::Drain() { return Usable() && AwaitReplies(0); }

void ResultSender::SendEndMarker() {
  if (!Drain()) return;
  TPipeIo io(pipe_.get(), false);
  WriteEndMarker(io);
}

void ResultSender::Close() {
  pipe_.reset();
  held_.Clear();
  replies_ = FrameCounter();
  unanswered_ = 0;
  broken_ = false;
}

void ResultSender::Abort() {
  aborted_ = true;
  if (pipe_) ::CancelIoEx(pipe_.get(), nullptr);
}
