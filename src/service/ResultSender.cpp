#include "service/ResultSender.h"

#include "core/SearchMessages.h"

ResultSender::ResultSender(DWORD clientProcessId) : clientProcessId_(clientProcessId) {
  SetServerName(kSearchResultPipe);
}

HANDLE ResultSender::OpenPipe(const std::wstring& path) {
  UniqueFileHandle pipe(TIPCClient::OpenPipe(path));
  if (!pipe) return INVALID_HANDLE_VALUE;
  ULONG serverPid = 0;
  if (!::GetNamedPipeServerProcessId(pipe.get(), &serverPid) || serverPid != clientProcessId_) {
    // Another process's instance took the connection: leave it and try again.
    pipe.reset();
    ::SetLastError(ERROR_PIPE_BUSY);
    return INVALID_HANDLE_VALUE;
  }
  pipe_ = pipe.get();
  return pipe.release();
}

bool ResultSender::Connect(std::uint32_t timeoutMs) {
  ConnectClient(timeoutMs);
  return IsConnected();
}

bool ResultSender::Send(const IMessageData& message) {
  if (aborted_ || !IsConnected()) return false;
  const IMessageData reply = ExecuteConnectedRequest(message);
  return reply && AnswerValid() && !aborted_;
}

void ResultSender::Abort() {
  aborted_ = true;
  const HANDLE h = pipe_.load();
  if (h != INVALID_HANDLE_VALUE) ::CancelIoEx(h, nullptr);
}
