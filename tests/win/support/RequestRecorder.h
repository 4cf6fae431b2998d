#pragma once
// A stand-in for the search service's request pipe: serves "SearchRequestPipe" and records
// every message that arrives, decoded.
#include <mutex>
#include <vector>

#include "core/SearchMessages.h"
#include "win/ipc/IPCServer.h"

namespace testing_support {

class RequestRecorder {
 public:
  RequestRecorder() {
    server_.SetServerName(kSearchRequestPipe);
    server_.OnExecuteRequest = [this](const ICommContext&, const IMessageData& request, const IMessageData&) {
      std::lock_guard<std::mutex> g(lock_);
      messages_.push_back(DecodeSearchMessage(request->Data()));
    };
    server_.Start();
  }
  std::vector<TSearchMessage> Messages(int action = -1) {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<TSearchMessage> r;
    for (const auto& m : messages_)
      if (action < 0 || m.Action == action) r.push_back(m);
    return r;
  }

 private:
  std::mutex lock_;
  std::vector<TSearchMessage> messages_;
  TIPCServer server_;  // last: its threads end before the state they use
};

}  // namespace testing_support
