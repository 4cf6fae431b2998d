#pragma once
// The server side of the pipe transport. A listening thread accepts up to kMaxConnections
// clients at a time and hands each connection to a worker of a pool; for every message that
// arrives the owner's OnExecuteRequest fills a reply, which is sent back at once. A connection
// idle longer than kConnectionIdleTimeoutMs is closed. Failures go to OnServerError.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/MessageData.h"
#include "win/common/Handle.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/PipeSecurity.h"

class EIPCServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One accepted connection, from acceptance to its end.
class TCommContext {
 public:
  explicit TCommContext(HANDLE pipe = nullptr);
  // A fresh GUID as 32 hexadecimal digits.
  const std::u16string& ID() const { return FID; }
  CriticalSection& Lock() { return FLock; }
  // The connection's pipe instance, for asking who the client is (GetNamedPipeClientProcessId,
  // ImpersonateNamedPipeClient). Valid until the connection ends; never to be closed.
  HANDLE Pipe() const { return FPipe; }

 private:
  std::u16string FID;
  CriticalSection FLock;
  HANDLE FPipe;
};
using ICommContext = std::shared_ptr<TCommContext>;

struct TServerError {
  std::uint32_t Code = 0;  // Win32 error
  std::u16string Desc;
};

// Context is empty for listener failures.
using TOnExecuteRequest = std::function<void(const ICommContext& context, const IMessageData& request, const IMessageData& response)>;
using TOnServerError = std::function<void(const ICommContext& context, const TServerError& error)>;
using TOnClientEvent = std::function<void(const ICommContext& context)>;

class TListeningThread;
class TContextList;

class TIPCServer {
 public:
  // Connections served at the same time; one client more waits until one of them ends.
  static constexpr LONG kMaxConnections = 64;
  // Each pipe instance's buffer in either direction. Small: a client that writes ahead of its
  // replies may do so only as far as the replies it has not read fit here.
  static constexpr DWORD kPipeBufferSize = 1024;

  TIPCServer();
  virtual ~TIPCServer();
  TIPCServer(const TIPCServer&) = delete;
  TIPCServer& operator=(const TIPCServer&) = delete;

  // Set these before Start; they run on the server's threads.
  TOnExecuteRequest OnExecuteRequest;  // mandatory; runs on a pool worker, concurrently
  TOnServerError OnServerError;
  TOnClientEvent OnClientConnect;
  TOnClientEvent OnClientDisconnect;

  const std::u16string& ServerName() const { return FServerName; }
  // A server always serves the local machine: "\\.\pipe\<name>".
  void SetServerName(std::u16string_view name);
  const std::u16string& PipeName() const { return FPipeName; }
  std::int32_t MinPoolSize() const { return FMinPoolSize; }
  void SetMinPoolSize(std::int32_t value) { FMinPoolSize = value; }
  bool DynamicPool() const { return FDynamicPool; }
  void SetDynamicPool(bool value) { FDynamicPool = value; }
  // Who may open the pipe (default: LocalSystem, Administrators and the current user).
  void SetPipeAccess(TPipeAccess access) { FPipeAccess = access; }
  // The largest request data this server takes (at most kMaxFrameDataSize, the default); a
  // larger one ends its connection before anything is allocated for it.
  std::int64_t MaxDataSize() const { return FMaxDataSize; }
  void SetMaxDataSize(std::int64_t value);

  // A listener is accepting (false while one that failed waits to be started again).
  bool Listening() const;
  // Raises EIPCServerError("OnExecuteRequest not assigned") without a handler, and the thread's
  // error when the server's supervisor thread cannot be started. Waits up to 3,000 ms for the
  // first pipe instance. From then until Stop the server keeps a listener or tries to get one
  // back: a listener that ends or cannot start is started again, at most five times in 30 s,
  // and once more each time the next 30 s begin.
  void Start();
  // Connections being served finish on their own; the listener is not restarted.
  void Stop();
  void Restart();
  // Final: stops, ends the connections still being served and waits for their threads. A
  // class that extends the server with state its handlers use calls this in its destructor,
  // while that state still exists; the base destructor does it otherwise.
  void Shutdown();

  // Workers in the current listener's pool, and connections being served.
  std::size_t PoolSize() const;
  std::size_t ConnectionCount() const;

 protected:
  // Creates one pipe instance, which the caller owns; INVALID_HANDLE_VALUE with the last error
  // set on failure, which ends the listening thread abnormally.
  virtual HANDLE CreatePipeInstance(const std::wstring& pipeName, SECURITY_ATTRIBUTES* security);
  // Starts each of the server's threads; throws (std::system_error) when it cannot.
  virtual std::thread StartThread(std::function<void()> body);

 private:
  friend class TListeningThread;

  void ServeConnection(UniqueFileHandle pipe);
  // Writes the replies laid out so far in one write, and empties them; false (reported) when
  // the write failed.
  bool WriteReplies(const ICommContext& context, TPipeIo& io, TFrameBatch& replies);
  bool ReportWriteFailure(const ICommContext& context, const TFrameResult& sent);
  void ReportError(const ICommContext& context, std::u16string_view desc, DWORD code);
  // With FStateLock held. False (reported) when the listener could not be started.
  bool StartListener();
  void RetireListener();
  // Runs on the supervisor thread after a listener ended without being told to, or could not
  // start.
  void ListeningThreadTerminated();
  // With FStateLock held: restarts within the budget, or sets the next try.
  void RestartAfterFailure();
  // Runs on the supervisor thread when the next try is due.
  void RetryListener();
  DWORD MsUntilRetry() const;
  void SupervisorLoop();

  std::u16string FServerName;
  std::u16string FPipeName;
  std::int32_t FMinPoolSize = 5;
  bool FDynamicPool = true;
  TPipeAccess FPipeAccess = TPipeAccess::OwnerSystemAdmins;
  std::int64_t FMaxDataSize;

  mutable std::recursive_mutex FStateLock;
  bool FStarted = false;    // between Start and Stop
  bool FListening = false;  // a listener is current
  bool FRetryPending = false;
  std::chrono::steady_clock::time_point FRetryAt;
  // One count per connection being served, on every listener of this server.
  UniqueKernelHandle FConnectionSlots;
  UniqueKernelHandle FShutdownEvent;        // the server is being destroyed: abort blocked I/O
  UniqueKernelHandle FListenerEndedEvent;   // a listener ended without being told to
  UniqueKernelHandle FSupervisorStopEvent;
  std::unique_ptr<TListeningThread> FListeningThread;
  // Stopped listeners whose pools may still be serving connections.
  std::vector<std::unique_ptr<TListeningThread>> FRetiredListeners;
  std::atomic<bool> FFirstInstanceDue{false};  // the next instance is made with FILE_FLAG_FIRST_PIPE_INSTANCE
  std::thread FSupervisor;
  std::int32_t FNumOfErrors = 0;
  std::chrono::steady_clock::time_point FFirstErrorTime;
  bool FHasFirstErrorTime = false;
  std::unique_ptr<TContextList> FContextList;
};
