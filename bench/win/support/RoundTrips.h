#pragma once
// The transport's raw rate: request and reply pairs per second with its server, one
// item-sized message at a time, which is what delivery costs when every item waits for its
// reply. Figures beside which the benches put their delivery rates.
#include <windows.h>

#include <chrono>

#include "core/SearchMessages.h"
#include "win/common/Handle.h"
#include "win/ipc/FrameIo.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "win/ipc/PipeIo.h"

namespace bench_support {

struct RoundTrips {
  double client = 0;    // the transport's client (overlapped, bounded)
  double blocking = 0;  // blocking transfers, as a sender waiting for each reply makes them
};

// withBlocking: also time blocking transfers on a plain pipe handle. 0 for what failed.
inline RoundTrips RawRoundTripsPerSecond(bool withBlocking) {
  using Clock = std::chrono::steady_clock;
  constexpr int kTrips = 5000;
  auto perSecond = [](Clock::time_point start) {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return ms > 0 ? kTrips * 1000.0 / ms : 0;
  };
  TIPCServer server;
  server.SetServerName(u"RuvoBenchRoundTrip");
  server.OnExecuteRequest = [](const ICommContext&, const IMessageData&, const IMessageData&) {};
  server.Start();
  const IMessageData item = BuildFoundItem(u"C:\\users\\someone\\Documents 2019\\report_1234 17.pdf", u"*", 1);
  RoundTrips rates;
  {
    TIPCClient client;
    client.SetServerName(u"RuvoBenchRoundTrip");
    client.ConnectClient(3000);
    const auto start = Clock::now();
    for (int i = 0; i < kTrips; ++i)
      if (!client.ExecuteConnectedRequest(item) || !client.AnswerValid()) return rates;
    rates.client = perSecond(start);
  }
  if (!withBlocking) return rates;
  UniqueFileHandle pipe(::CreateFileW(L"\\\\.\\pipe\\RuvoBenchRoundTrip", TIPCClient::kPipeAccess, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!pipe) return rates;
  TPipeIo io(pipe.get(), false);
  const auto start = Clock::now();
  for (int i = 0; i < kTrips; ++i) {
    IMessageData reply = NewMessageData();
    if (!WriteFrame(io, *item).Ok() || !ReadFrame(io, *reply).Ok()) return rates;
  }
  rates.blocking = perSecond(start);
  WriteEndMarker(io);
  return rates;
}

}  // namespace bench_support
