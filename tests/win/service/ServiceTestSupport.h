#pragma once
// What the service tests compare answers with.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/FileIndexQuery.h"
#include "core/SearchMessages.h"
#include "core/TextUtils.h"
#include "service/DirectoryWalker.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"
#include "win/common/Handle.h"
#include "win/ipc/IPCServer.h"

namespace service_testing {

struct Received {
  std::uint8_t action;
  std::u16string fileName, wildcard, version;
  std::uint32_t box;
  ULONG sender = 0;  // the process that sent it
};

// Our "SearchResultPipe", standing in for the program: records every message; with stall it
// holds each message until released, like a program that stopped reading; with stallFrom only
// the messages from that one on (counted from 0), like a program that stops mid-answer.
class ResultRecorder {
 public:
  explicit ResultRecorder(bool stall = false, std::size_t stallFrom = 0) : stalled_(stall), stallFrom_(stallFrom) {
    server_.SetServerName(kSearchResultPipe);
    server_.OnExecuteRequest = [this](const ICommContext& context, const IMessageData& req, const IMessageData&) {
      const TSearchMessage m = DecodeSearchMessage(req->Data());
      ULONG sender = 0;
      ::GetNamedPipeClientProcessId(context->Pipe(), &sender);
      std::unique_lock lock(lock_);
      all_.push_back({m.Action, m.FileName, m.Wildcard, m.Version, m.SearchBox, sender});
      changed_.notify_all();
      if (all_.size() > stallFrom_)
        changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !stalled_; });
    };
    server_.Start();
  }
  ~ResultRecorder() {
    Release();
    server_.Stop();
  }
  void Release() {
    std::lock_guard lock(lock_);
    stalled_ = false;
    changed_.notify_all();
  }
  // The answer messages of a box so far.
  std::vector<Received> ForBox(std::uint32_t box) {
    std::lock_guard lock(lock_);
    std::vector<Received> out;
    for (const auto& r : all_)
      if (r.box == box && r.action != kActionUpdate) out.push_back(r);
    return out;
  }
  // The processes that sent the messages of a box.
  std::set<ULONG> SendersOf(std::uint32_t box) {
    std::set<ULONG> out;
    for (const auto& r : ForBox(box)) out.insert(r.sender);
    return out;
  }
  bool WaitFor(std::uint32_t box, std::uint8_t action, std::chrono::milliseconds limit) {
    return WaitEnds(box, 1, limit, action);
  }
  // Waits for the n-th message of that action (an answer end by default) for the box.
  bool WaitEnds(std::uint32_t box, std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(20),
                std::uint8_t action = kActionAnswerEnd) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, limit, [&] {
      return static_cast<std::size_t>(std::count_if(all_.begin(), all_.end(), [&](const Received& r) {
               return r.box == box && r.action == action;
             })) >= n;
    });
  }
  // The whole answer of a box once it ended, or what arrived within 20 s.
  std::vector<Received> Answer(std::uint32_t box) {
    WaitEnds(box, 1);
    return ForBox(box);
  }
  std::vector<Received> Updates(std::chrono::milliseconds limit) {
    std::unique_lock lock(lock_);
    auto isUpdate = [](const Received& r) { return r.action == kActionUpdate; };
    changed_.wait_for(lock, limit, [&] { return std::any_of(all_.begin(), all_.end(), isUpdate); });
    std::vector<Received> out;
    std::copy_if(all_.begin(), all_.end(), std::back_inserter(out), isUpdate);
    return out;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Received> all_;
  bool stalled_;
  std::size_t stallFrom_;
  TIPCServer server_;  // last: its threads end before the state they use
};

// Our "SearchResultPipe" that takes the service's connection and never reads from it, with no
// buffer, so the service's first write already waits.
class DeafResultPipe {
 public:
  DeafResultPipe() {
    pipe_.reset(::CreateNamedPipeW(L"\\\\.\\pipe\\SearchResultPipe", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr));
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    overlapped_.hEvent = event_.get();
    if (pipe_) ::ConnectNamedPipe(pipe_.get(), &overlapped_);
  }
  ~DeafResultPipe() {
    if (pipe_) ::CancelIo(pipe_.get());
  }
  bool Valid() const { return pipe_ && event_; }
  bool WaitConnected(DWORD ms) const { return ::WaitForSingleObject(event_.get(), ms) == WAIT_OBJECT_0; }
 private:
  UniqueFileHandle pipe_;
  UniqueKernelHandle event_;
  OVERLAPPED overlapped_{};
};

// One request on a connection of its own, as the program sends them; a failure says why.
inline testing::AssertionResult SendRequest(const IMessageData& msg) {
  TIPCClient client;
  client.SetServerName(kSearchRequestPipe);
  const IMessageData reply = client.ExecuteRequest(msg, 2000);
  if (reply && client.AnswerValid()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the request failed: " << Utf16ToUtf8(client.ErrorDesc()) << " (error "
                                     << client.LastError() << ")";
}

// The paths of an answer's items (any record with `action` and `fileName`).
template <class Received>
std::set<std::u16string> Items(const std::vector<Received>& answer) {
  std::set<std::u16string> out;
  for (const auto& r : answer)
    if (r.action == kActionFoundItem) out.insert(r.fileName);
  return out;
}

// What the answer must be: our own walk with the same matching rule.
inline std::set<std::u16string> Expected(const std::wstring& dir, const std::u16string& wildcard) {
  std::set<std::u16string> out;
  const NameQuery q(wildcard);
  WalkDirectory(dir, [&](const std::wstring& parent, const std::wstring& name, bool) {
    if (q.Matches(U(name))) out.insert(U(JoinPath(parent, name)));
    return true;
  });
  return out;
}

}  // namespace service_testing
