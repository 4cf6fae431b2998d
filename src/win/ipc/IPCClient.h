#pragma once
// The client side of the pipe transport: connects to a pipe server, sends one message and
// reads the reply within ReplyTimeout, so a stalled server never holds the caller longer.
// Failures are never raised: they are kept in LastError()/ErrorDesc() and the operation
// returns early. One thread at a time.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Frame.h"
#include "core/MessageData.h"
#include "win/common/Handle.h"

class TIPCClient {
 public:
  TIPCClient();
  virtual ~TIPCClient();
  TIPCClient(const TIPCClient&) = delete;
  TIPCClient& operator=(const TIPCClient&) = delete;

  const std::u16string& ServerName() const { return FServerName; }
  void SetServerName(std::u16string_view name);
  const std::u16string& ComputerName() const { return FComputerName; }
  // An empty name means the local machine (".").
  void SetComputerName(std::u16string_view name);
  // "\\<computer>\pipe\<server>".
  const std::u16string& PipeName() const { return FPipeName; }

  // The access a client asks for. Not GENERIC_WRITE: on a pipe that includes
  // FILE_CREATE_PIPE_INSTANCE, which a service's pipe grants only to those who may serve it.
  static constexpr DWORD kPipeAccess = GENERIC_READ | FILE_WRITE_DATA;
  // By default a server may only identify this client. A request to the search service lets it
  // act as the user, so the service lists folders with the user's own rights.
  bool AllowsImpersonation() const { return FAllowImpersonation; }
  void SetAllowImpersonation(bool allow) { FAllowImpersonation = allow; }

  // A request, from its first byte out to the last byte of its reply, and the end marker, get
  // this long; then the exchange fails with WAIT_TIMEOUT and the connection is closed (a late
  // reply would be taken for the next one's).
  static constexpr DWORD kDefaultReplyTimeoutMs = 5000;
  DWORD ReplyTimeout() const { return FReplyTimeout; }
  void SetReplyTimeout(DWORD ms) { FReplyTimeout = ms; }
  // Replies larger than this are refused (at most kMaxFrameDataSize, the default).
  void SetMaxReplySize(std::int64_t size) { FMaxReplySize = size; }

  bool IsConnected() const { return FIsConnected; }
  bool AnswerValid() const { return FAnswerValid; }
  std::uint32_t LastError() const { return FLastError; }
  const std::u16string& ErrorDesc() const { return FErrorDesc; }

  // Tries for connectTimeout whole milliseconds; 0 makes no attempt. A connection still open
  // is ended first.
  void ConnectClient(std::uint32_t connectTimeout);
  // Sends request and reads the reply on the open connection. No message when sending failed;
  // otherwise the reply, complete only when AnswerValid() is true. A connection left idle for
  // kStaleConnectionMs, which the server may be closing, is opened anew first (within the
  // last connect's time-out).
  IMessageData ExecuteConnectedRequest(const IMessageData& request);
  // Sends the end marker when a connection is open and closes it.
  void DisconnectClient();
  // Connect, one request, disconnect. No message when the connection failed.
  IMessageData ExecuteRequest(const IMessageData& request, std::uint32_t connectTimeout);
  void ReconnectClient(std::uint32_t connectTimeout) { ConnectClient(connectTimeout); }

 protected:
  // Opens the pipe for overlapped use; INVALID_HANDLE_VALUE with the thread's last error set
  // on failure.
  virtual HANDLE OpenPipe(const std::wstring& path);

 private:
  void Fail(std::u16string_view desc, DWORD code);
  // After an exchange that ran out of time: no end marker, the server is not listening.
  void CloseUnanswered();
  void RebuildPipeName();

  std::u16string FServerName;
  std::u16string FComputerName = u".";
  std::u16string FPipeName;
  UniqueFileHandle FPipeHandle;
  bool FIsConnected = false;
  bool FAllowImpersonation = false;
  bool FAnswerValid = false;
  DWORD FReplyTimeout = kDefaultReplyTimeoutMs;
  std::int64_t FMaxReplySize;
  std::uint32_t FConnectTimeout = 0;
  ULONGLONG FLastExchange = 0;  // GetTickCount64 of the connect or the last whole reply
  std::uint32_t FLastError = 0;
  std::u16string FErrorDesc;
};
