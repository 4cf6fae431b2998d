#include "win/ipc/IPCClient.h"

#include <algorithm>
#include <chrono>

#include "win/common/WideText.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/PipeIo.h"
#include "win/ipc/PipeTimeouts.h"

TIPCClient::TIPCClient() : FMaxReplySize(kMaxFrameDataSize) { RebuildPipeName(); }

TIPCClient::~TIPCClient() { DisconnectClient(); }

void TIPCClient::SetServerName(std::u16string_view name) {
  FServerName = name;
  RebuildPipeName();
}

void TIPCClient::SetComputerName(std::u16string_view name) {
  FComputerName = name.empty() ? std::u16string(u".") : std::u16string(name);
  RebuildPipeName();
}

void TIPCClient::RebuildPipeName() { FPipeName = u"\\\\" + FComputerName + u"\\pipe\\" + FServerName; }

void TIPCClient::Fail(std::u16string_view desc, DWORD code) {
  FErrorDesc = desc;
  FLastError = code;
}

HANDLE TIPCClient::OpenPipe(const std::wstring& path) {
  const DWORD level = FAllowImpersonation ? SECURITY_IMPERSONATION : SECURITY_IDENTIFICATION;
  return ::CreateFileW(path.c_str(), kPipeAccess, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | level, nullptr);
}

void TIPCClient::ConnectClient(std::uint32_t connectTimeout) {
  using Clock = std::chrono::steady_clock;
  DisconnectClient();
  FErrorDesc.clear();
  FLastError = 0;
  FConnectTimeout = connectTimeout;
  const Clock::time_point start = Clock::now();
  auto elapsedMs = [&] {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  const std::wstring path = W(FPipeName);
  while (elapsedMs() < connectTimeout) {
    UniqueFileHandle pipe(OpenPipe(path));
    if (pipe) {
      FPipeHandle = std::move(pipe);
      FIsConnected = true;
      FLastExchange = ::GetTickCount64();
      return;
    }
    DWORD err = ::GetLastError();
    if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PIPE_BUSY) {
      Fail(u"CreateFile failed while creating new pipe handle", err);
      return;
    }
    // Never 0: that would ask for the server's default wait, far beyond our budget.
    const std::uint64_t used = elapsedMs();
    const DWORD remaining = static_cast<DWORD>(used < connectTimeout ? connectTimeout - used : 1);
    if (!::WaitNamedPipeW(path.c_str(), remaining)) {
      err = ::GetLastError();
      if (err != ERROR_FILE_NOT_FOUND && err != ERROR_SEM_TIMEOUT && err != ERROR_PIPE_BUSY) {
        Fail(u"WaitNamedPipe failed with fatal error", err);
        return;
      }
      // No server at all: give the processor away instead of spinning until it appears.
      if (err == ERROR_FILE_NOT_FOUND) ::Sleep(1);
    }
  }
  Fail(u"IPC client failed with WAIT timeout", WAIT_TIMEOUT);
}

IMessageData TIPCClient::ExecuteConnectedRequest(const IMessageData& request) {
  FAnswerValid = false;
  FLastError = 0;
  if (!request) return nullptr;
  if (FIsConnected && ::GetTickCount64() - FLastExchange >= kStaleConnectionMs) {
    ConnectClient(FConnectTimeout);
    if (!FIsConnected) return nullptr;
  }
  TPipeIo io(FPipeHandle.get(), true);
  io.SetTimeout(FReplyTimeout);
  const TFrameResult sent = WriteFrame(io, *request);
  if (!sent.Ok()) {
    switch (sent.failedAt) {
      case TFrameStep::Id: Fail(u"WriteFile failed while writing message ID", sent.error); break;
      case TFrameStep::DataSize: Fail(u"WriteFile failed while writing message data size", sent.error); break;
      default: Fail(u"WriteFile failed while writing message chunk", sent.error); break;
    }
    if (sent.error == WAIT_TIMEOUT) CloseUnanswered();
    return nullptr;
  }
  IMessageData reply = NewMessageData();
  TFrameLimits limits;
  limits.maxDataSize = FMaxReplySize;
  const TFrameResult got = ReadFrame(io, *reply, limits);
  if (got.endMarker) {
    // A server never ends a connection with the marker; it is not a reply.
    Fail(u"ReadFile failed while reading message ID length", ERROR_INVALID_DATA);
    return reply;
  }
  if (!got.Ok()) {
    switch (got.failedAt) {
      case TFrameStep::IdLength: Fail(u"ReadFile failed while reading message ID length", got.error); break;
      case TFrameStep::Id: Fail(u"ReadFile failed while reading message ID", got.error); break;
      case TFrameStep::DataSize: Fail(u"ReadFile failed while reading message data size", got.error); break;
      default: Fail(u"ReadFile failed while reading message data", got.error); break;
    }
    if (got.error == WAIT_TIMEOUT) CloseUnanswered();
    return reply;
  }
  reply->Data().Storage().SetPosition(0);
  FAnswerValid = true;
  FLastExchange = ::GetTickCount64();
  return reply;
}

void TIPCClient::CloseUnanswered() {
  FPipeHandle.reset();
  FIsConnected = false;
}

void TIPCClient::DisconnectClient() {
  if (FPipeHandle) {
    TPipeIo io(FPipeHandle.get(), true);
    io.SetTimeout(FReplyTimeout);
    WriteEndMarker(io);
    FPipeHandle.reset();
  }
  FIsConnected = false;
}

IMessageData TIPCClient::ExecuteRequest(const IMessageData& request, std::uint32_t connectTimeout) {
  ConnectClient(connectTimeout);
  if (!FIsConnected) return nullptr;
  IMessageData reply = ExecuteConnectedRequest(request);
  DisconnectClient();
  return reply;
}
