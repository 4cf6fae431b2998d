#include "service/ResultSender.h"

#include "core/SearchMessages.h"

ResultSender::ResultSender(DWORD clientProcessId) : clientProcessId_(clientProcessId) {
  SetServerName(kSearchResultPipe);
}

HANDLE ResultSender::OpenPipe(const std::wstring& path) {
  const HANDLE h = TIPCClient::OpenPipe(path);
  if (h == INVALID_HANDLE_VALUE) return h;
  ULONG serverPid = 0;
  if (!::GetNamedPipeServerProcessId(h, &serverPid) || serverPid != clientProcessId_) {
    // Another process's instance took the connection: leave it and try again.
    ::CloseHandle(h);
    ::SetLastError(ERROR_PIPE_BUSY);
    return INVALID_HANDLE_VALUE;
  }
  pipe_ = h;
  return h;
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
