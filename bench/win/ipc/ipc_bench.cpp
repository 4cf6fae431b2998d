// Pipe transport throughput against bare ReadFile/WriteFile on a pipe, in one run:
// round trips per second with empty messages on one connection, and MB/s for 1 MiB messages.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/Frame.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMiB = 1 << 20;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::wstring PipePath(const std::wstring& name) { return L"\\\\.\\pipe\\" + name; }

bool ReadFull(HANDLE h, void* buf, std::size_t n) {
  auto* p = static_cast<std::uint8_t*>(buf);
  while (n > 0) {
    DWORD got = 0;
    if (!::ReadFile(h, p, static_cast<DWORD>(n), &got, nullptr) || got == 0) return false;
    p += got;
    n -= got;
  }
  return true;
}

bool WriteFull(HANDLE h, const void* buf, std::size_t n) {
  DWORD put = 0;
  return ::WriteFile(h, buf, static_cast<DWORD>(n), &put, nullptr) && put == n;
}

// Bare pipe: the client writes the request bytes (16 header bytes + payload, the payload in
// 64 KiB writes) and reads a 16-byte reply; the server mirrors that. Returns seconds for rounds.
double RawRun(int rounds, std::size_t payload) {
  const std::wstring path = PipePath(L"RuvoBenchRaw" + std::to_wstring(::GetCurrentProcessId()) + std::to_wstring(payload));
  UniqueFileHandle server(::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 5000, nullptr));
  std::thread serverThread([&] {
    ::ConnectNamedPipe(server.get(), nullptr);
    std::vector<std::uint8_t> buf(16 + payload);
    const std::uint8_t reply[16] = {};
    for (int i = 0; i < rounds; ++i) {
      if (!ReadFull(server.get(), buf.data(), buf.size())) return;
      if (!WriteFull(server.get(), reply, sizeof reply)) return;
    }
  });
  UniqueFileHandle client(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  std::vector<std::uint8_t> data(16 + payload, 0x11);
  std::uint8_t reply[16];
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    WriteFull(client.get(), data.data(), 8);
    WriteFull(client.get(), data.data() + 8, 8);
    for (std::size_t sent = 0; sent < payload; sent += kFrameChunkSize)
      WriteFull(client.get(), data.data() + 16 + sent, std::min(kFrameChunkSize, payload - sent));
    ReadFull(client.get(), reply, sizeof reply);
  }
  const double secs = Seconds(Clock::now() - start);
  serverThread.join();
  return secs;
}

double FramedRun(int rounds, std::size_t payload) {
  TIPCServer server;
  server.SetServerName(U(L"RuvoBenchFramed" + std::to_wstring(::GetCurrentProcessId()) + std::to_wstring(payload)));
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData&) {};
  server.Start();
  TIPCClient client;
  client.SetServerName(server.ServerName());
  client.ConnectClient(5000);
  IMessageData request = NewMessageData();
  std::vector<std::uint8_t> bytes(payload, 0x11);
  request->Data().Storage().Append(bytes.data(), bytes.size());
  int ok = 0;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    client.ExecuteConnectedRequest(request);
    ok += client.AnswerValid();
  }
  const double secs = Seconds(Clock::now() - start);
  client.DisconnectClient();
  if (ok != rounds) std::printf("  (only %d of %d replies were complete)\n", ok, rounds);
  return secs;
}

}  // namespace

int main() {
  constexpr int kEmptyRounds = 5000;
  constexpr int kBigRounds = 100;
  const double rawEmpty = RawRun(kEmptyRounds, 0);
  const double framedEmpty = FramedRun(kEmptyRounds, 0);
  const double rawBig = RawRun(kBigRounds, kMiB);
  const double framedBig = FramedRun(kBigRounds, kMiB);
  const double rawRate = kEmptyRounds / rawEmpty, framedRate = kEmptyRounds / framedEmpty;
  const double rawMBs = kBigRounds / rawBig, framedMBs = kBigRounds / framedBig;
  std::printf("empty messages, one connection: framed %9.0f round trips/s, raw %9.0f round trips/s, ratio %.2f\n",
              framedRate, rawRate, framedRate / rawRate);
  std::printf("1 MiB messages:                 framed %9.1f MB/s,          raw %9.1f MB/s,          ratio %.2f\n",
              framedMBs, rawMBs, framedMBs / rawMBs);
  return 0;
}
