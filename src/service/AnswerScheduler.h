#pragma once
// Schedules the answers and sends them; what goes into one comes from AnswerProducer. Each
// query gets a thread of its own, so answers for different search boxes run at the same time;
// a new query or a cancel for a box stops that box's answer in progress, and a box's answers
// send one after another, so nothing of an older answer follows the start of a newer one. A
// box belongs to the process that asked: box numbers are the program's window handles, which
// any other process can name, so a box is known by the asking process and its number. A
// watchdog aborts a delivery the program stops reading. Every thread is kept, so shut-down
// waits for each with a limit.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/MessageData.h"
#include "service/AnswerProducer.h"
#include "service/ServiceThread.h"

class IndexStore;
class ResultSender;

class AnswerScheduler {
 public:
  // How long the program may take to accept a connection, and to take one message or answer
  // those due.
  static constexpr DWORD kConnectTimeoutMs = 2000;
  static constexpr DWORD kMessageTimeoutMs = 5000;
  // Answers and announcements running at once. The program keeps one answer per search box
  // going; requests beyond this are dropped, so a flood cannot take the machine's threads.
  static constexpr std::size_t kMaxRunning = 32;
  // How long Shutdown waits by default for the answers to end.
  static constexpr DWORD kShutdownMs = 5000;

  // canList: whether the client may list a folder (the file system's answer by default).
  AnswerScheduler(IndexStore& store, std::size_t cap, DWORD messageTimeoutMs = kMessageTimeoutMs,
                  AnswerProducer::FolderCheck canList = CanListAsCaller);
  ~AnswerScheduler();
  AnswerScheduler(const AnswerScheduler&) = delete;
  AnswerScheduler& operator=(const AnswerScheduler&) = delete;

  void Search(SearchRequest request);
  // Stops the answer in progress for that process's box.
  void Cancel(DWORD clientProcessId, std::uint32_t searchBox);
  void AnnounceUpdate(DWORD clientProcessId, std::u16string program, std::u16string version);
  // Cancels everything and waits until the tick deadline for the answers and the watchdog to
  // end; false when a thread still runs then (its owner must not be destroyed: the process is
  // ended instead).
  bool Shutdown(ULONGLONG deadline);
  bool Shutdown() { return Shutdown(DeadlineIn(kShutdownMs)); }

  std::size_t Running();
  // Search boxes with state kept: those whose answer still runs.
  std::size_t BoxCount();

 private:
  using BoxKey = std::pair<DWORD, std::uint32_t>;  // asking process, its box
  struct Box {
    std::mutex sendLock;
    std::shared_ptr<std::atomic<bool>> cancel;
  };
  struct Watch {
    ResultSender* sender;
    ULONGLONG deadline;
  };
  // A sender under the watchdog for one scope; it leaves the watch however the scope ends, so
  // the watchdog never holds a sender that is gone.
  class Watched {
   public:
    Watched(AnswerScheduler& scheduler, ResultSender& sender) : scheduler_(scheduler), sender_(sender) {
      scheduler_.Arm(&sender_);
    }
    ~Watched() { scheduler_.Disarm(&sender_); }
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;

   private:
    AnswerScheduler& scheduler_;
    ResultSender& sender_;
  };

  void Answer(const SearchRequest& request, Box& box, const std::atomic<bool>& cancel);
  // Takes a place for one more answer (under lock_); false when there is none.
  bool Reserve();
  // Runs work on a thread of its own in a place already reserved; false (the place given
  // back) when no thread can be made. Threads that have ended are let go here.
  bool Run(std::function<void()> work);
  // Gives a reserved place back (takes lock_).
  void GiveBack();
  // Sends one message and waits for every reply due, under the stall watchdog.
  bool Deliver(ResultSender& sender, const IMessageData& message);
  // Writes one message ahead of its reply (or holds it for the next, see ResultSender::Post),
  // under the same watchdog.
  bool Post(ResultSender& sender, const IMessageData& message, bool moreAtOnce);
  // Ends the connection under the same watchdog.
  void Finish(ResultSender& sender);
  void Arm(ResultSender* sender);
  void Disarm(ResultSender* sender);
  void WatchdogLoop();

  const AnswerProducer producer_;
  std::size_t cap_;
  DWORD messageTimeoutMs_;
  std::mutex lock_;
  std::condition_variable idle_;
  std::map<BoxKey, std::shared_ptr<Box>> boxes_;
  std::size_t running_ = 0;
  bool shuttingDown_ = false;
  ULONGLONG shutdownDeadline_ = 0;
  std::vector<Watch> watches_;
  std::list<ServiceThread> answers_;
  ServiceThread watchdog_;
};
