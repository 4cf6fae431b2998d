#include "service/ResultSender.h"

#include <chrono>

#include "core/SearchMessages.h"
#include "win/common/WideText.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/IPCClient.h"

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

bool ResultSender::Send(const IMessageData& message) {
  if (aborted_ || !pipe_ || !message) return false;
  TPipeIo io(pipe_.get(), false);
  if (!WriteFrame(io, *message).Ok()) return false;
  IMessageData reply = NewMessageData();
  return ReadFrame(io, *reply).Ok() && !aborted_;
}

void ResultSender::SendEndMarker() {
  if (aborted_ || !pipe_) return;
  TPipeIo io(pipe_.get(), false);
  WriteEndMarker(io);
}

void ResultSender::Close() { pipe_.reset(); }

void ResultSender::Abort() {
  aborted_ = true;
  if (pipe_) ::CancelIoEx(pipe_.get(), nullptr);
}
