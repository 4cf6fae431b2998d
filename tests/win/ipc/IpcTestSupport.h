#pragma once
// Shared pieces of the transport tests: unique pipe names, a raw pipe end that sees the bytes
// and write boundaries on the wire, and a thread-safe record of server error reports.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "TestProcess.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCServer.h"

namespace ipc_test {

using testing_support::ChildProcess;
using testing_support::WaitUntil;

using Bytes = std::vector<std::uint8_t>;

inline std::u16string UniquePipeName(const char16_t* tag) {
  static std::atomic<int> counter{0};
  return std::u16string(u"RuvoIpcTest_") + tag + u"_" + U(std::to_wstring(::GetCurrentProcessId())) + u"_" +
         U(std::to_wstring(++counter));
}

inline std::wstring PipePath(const std::u16string& name) { return L"\\\\.\\pipe\\" + W(name); }

// A raw server instance. In message mode every client write arrives as one message, so the
// reads show exactly how the peer split its writes.
inline UniqueFileHandle RawServerInstance(const std::u16string& name, bool messageMode, DWORD access = PIPE_ACCESS_DUPLEX) {
  const DWORD mode = messageMode ? (PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE) : 0;
  return UniqueFileHandle(::CreateNamedPipeW(PipePath(name).c_str(), access, mode | PIPE_WAIT, 1, 1 << 20, 1 << 20, 5000, nullptr));
}

// One client write as it arrived (message mode): bounded by the peer closing or the pipe breaking.
inline bool ReadMessage(HANDLE pipe, Bytes& out) {
  out.assign(1 << 20, 0);
  DWORD got = 0;
  if (!::ReadFile(pipe, out.data(), static_cast<DWORD>(out.size()), &got, nullptr)) return false;
  out.resize(got);
  return true;
}

inline bool ReadExactly(HANDLE pipe, Bytes& out, std::size_t n) {
  out.assign(n, 0);
  std::size_t have = 0;
  while (have < n) {
    DWORD got = 0;
    if (!::ReadFile(pipe, out.data() + have, static_cast<DWORD>(n - have), &got, nullptr) || got == 0) return false;
    have += got;
  }
  return true;
}

inline bool WriteBytes(HANDLE pipe, const Bytes& b) {
  DWORD put = 0;
  return ::WriteFile(pipe, b.data(), static_cast<DWORD>(b.size()), &put, nullptr) && put == b.size();
}

inline UniqueFileHandle RawClient(const std::u16string& name) {
  const std::wstring path = PipePath(name);
  ::WaitNamedPipeW(path.c_str(), 3000);
  return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

inline Bytes Le64(std::int64_t v) {
  Bytes b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
  return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class ErrorLog {
 public:
  TOnServerError Handler() {
    return [this](const ICommContext& ctx, const TServerError& e) {
      std::lock_guard lock(mutex_);
      entries_.push_back({e.Desc, e.Code, ctx != nullptr});
    };
  }
  struct Entry {
    std::u16string desc;
    std::uint32_t code;
    bool hasContext;
  };
  std::vector<Entry> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::size_t Count(const std::u16string& desc) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& e : entries_) n += e.desc == desc;
    return n;
  }

 private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

inline void EchoHandler(const ICommContext&, const IMessageData& request, const IMessageData& response) {
  response->SetID(request->ID());
  response->Data().Assign(request->Data());
}

// An echoing server named after tag, its error reports kept in errors.
inline void PrepareEcho(TIPCServer& server, ErrorLog& errors, const char16_t* tag) {
  server.SetServerName(UniquePipeName(tag));
  server.OnServerError = errors.Handler();
  server.OnExecuteRequest = EchoHandler;
}

// A server whose pipe instances and threads fail on demand, as they do when the process runs out
// of memory or of room for another stack; Wine cannot be made to fail them for real. A failed
// instance ends the listening thread abnormally.
class FaultyServer : public TIPCServer {
 public:
  std::atomic<int> instanceFailuresLeft{0};
  std::atomic<int> instanceFailures{0};
  std::atomic<int> threadFailuresLeft{0};

 protected:
  HANDLE CreatePipeInstance(const std::wstring& pipeName, SECURITY_ATTRIBUTES* security) override {
    if (instanceFailuresLeft.load() > 0) {
      --instanceFailuresLeft;
      ++instanceFailures;
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
    return TIPCServer::CreatePipeInstance(pipeName, security);
  }
  std::thread StartThread(std::function<void()> body) override {
    if (threadFailuresLeft.load() > 0) {
      --threadFailuresLeft;
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return TIPCServer::StartThread(std::move(body));
  }
};

}  // namespace ipc_test
