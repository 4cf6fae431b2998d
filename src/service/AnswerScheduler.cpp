#include "service/AnswerScheduler.h"

#include <chrono>

#include "core/SearchMessages.h"
#include "service/ResultSender.h"

AnswerScheduler::AnswerScheduler(IndexStore& store, std::size_t cap, DWORD messageTimeoutMs,
                                 AnswerProducer::FolderCheck canList)
    : producer_(store, std::move(canList)), cap_(cap), messageTimeoutMs_(messageTimeoutMs) {
  watchdog_ = ServiceThread(L"the answer watchdog", [this] { WatchdogLoop(); });
}

AnswerScheduler::~AnswerScheduler() { Shutdown(); }

bool AnswerScheduler::Shutdown(ULONGLONG deadline) {
  std::list<ServiceThread> answers;
  {
    std::unique_lock lock(lock_);
    if (!shuttingDown_) {
      shuttingDown_ = true;
      shutdownDeadline_ = deadline;
      for (auto& [key, state] : boxes_)
        if (state->cancel) *state->cancel = true;
      for (auto& w : watches_) w.sender->Abort();
    }
    idle_.notify_all();
    // No answer starts any more, so the list is complete.
    answers.swap(answers_);
  }
  bool ended = watchdog_.Join(deadline);
  for (const auto& a : answers) ended = a.Join(deadline) && ended;
  std::unique_lock lock(lock_);
  // Threads that did not end are kept, never destroyed while they run.
  answers_.splice(answers_.end(), answers);
  // An answer reserved just before the shut-down may have joined the list only now.
  const ULONGLONG now = ::GetTickCount64();
  const auto left = std::chrono::milliseconds(deadline > now ? deadline - now : 0);
  return idle_.wait_for(lock, left, [this] { return running_ == 0; }) && ended;
}

bool AnswerScheduler::Reserve() {
  if (shuttingDown_ || running_ >= kMaxRunning) return false;
  ++running_;
  return true;
}

void AnswerScheduler::GiveBack() {
  std::lock_guard lock(lock_);
  --running_;
  idle_.notify_all();
}

bool AnswerScheduler::Run(std::function<void()> work) {
  try {
    // The list's place first: once the thread runs, nothing here may fail.
    std::list<ServiceThread> place(1);
    place.front() = ServiceThread(L"an answer", [this, work = std::move(work)] {
      RunCaught(L"an answer", work);
      GiveBack();
    });
    std::lock_guard lock(lock_);
    answers_.remove_if([](const ServiceThread& t) { return t.Finished(); });
    answers_.splice(answers_.end(), place);
    return true;
  } catch (const std::exception&) {  // out of threads or memory: the request is dropped
    GiveBack();
    return false;
  }
}

std::size_t AnswerScheduler::Running() {
  std::lock_guard lock(lock_);
  return running_;
}

std::size_t AnswerScheduler::BoxCount() {
  std::lock_guard lock(lock_);
  return boxes_.size();
}

void AnswerScheduler::Search(SearchRequest request) {
  std::shared_ptr<Box> box;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  const BoxKey id{request.clientProcessId, request.searchBox};
  {
    std::lock_guard lock(lock_);
    if (!Reserve()) return;
    auto& slot = boxes_[id];
    if (!slot) slot = std::make_shared<Box>();
    if (slot->cancel) *slot->cancel = true;
    slot->cancel = cancel;
    box = slot;
  }
  // The box's state goes with its last answer, so box numbers never pile up.
  const auto release = [this, box, cancel, id] {
    std::lock_guard lock(lock_);
    const auto it = boxes_.find(id);
    if (it != boxes_.end() && it->second == box && box->cancel == cancel) boxes_.erase(it);
  };
  if (!Run([this, request = std::move(request), box, cancel, release] {
        // The box's state goes however the answer ends.
        RunCaught(L"an answer", [&] { Answer(request, *box, *cancel); });
        release();
      }))
    release();
}

void AnswerScheduler::Cancel(DWORD clientProcessId, std::uint32_t searchBox) {
  std::lock_guard lock(lock_);
  const auto it = boxes_.find({clientProcessId, searchBox});
  if (it == boxes_.end()) return;
  // The answer ends soon and takes the box's state with it.
  if (it->second->cancel) *it->second->cancel = true;
}

void AnswerScheduler::AnnounceUpdate(DWORD clientProcessId, std::u16string program, std::u16string version) {
  {
    std::lock_guard lock(lock_);
    if (!Reserve()) return;
  }
  Run([this, clientProcessId, program = std::move(program), version = std::move(version)] {
    ResultSender sender(clientProcessId);
    if (!sender.Connect(kConnectTimeoutMs)) return;
    Deliver(sender, BuildUpdateAnnouncement(program, version));
    Finish(sender);
  });
}

void AnswerScheduler::Answer(const SearchRequest& request, Box& box, const std::atomic<bool>& cancel) {
  // An older answer of this box still sending sees its cancel flag and lets go of the lock.
  std::lock_guard sending(box.sendLock);
  if (cancel) return;
  ResultSender sender(request.clientProcessId);
  if (!sender.Connect(kConnectTimeoutMs)) return;
  // The start is answered before any item goes: an answer cancelled while the program holds
  // it sends nothing more.
  bool ok = Deliver(sender, BuildAnswerBegin(request.searchBox));
  std::size_t sent = 0;
  // Items go out as they are found, written ahead of their replies; the answer ends at the cap.
  const bool complete = ok && producer_.Produce(request, cancel, [&](std::u16string path, bool moreAtOnce) {
    if (cancel) return false;  // nothing more of a cancelled answer goes out
    ok = Post(sender, BuildFoundItem(path, request.wildcard, request.searchBox), moreAtOnce);
    return ok && ++sent < cap_;
  });
  if (ok && !cancel && (complete || sent >= cap_)) Deliver(sender, BuildAnswerEnd(request.searchBox));
  Finish(sender);
}

// Only the transfers are watched: a search may take its time between two items.
bool AnswerScheduler::Deliver(ResultSender& sender, const IMessageData& message) {
  const Watched watched(*this, sender);
  return sender.Send(message);
}

bool AnswerScheduler::Post(ResultSender& sender, const IMessageData& message, bool moreAtOnce) {
  const Watched watched(*this, sender);
  return sender.Post(message, moreAtOnce);
}

// The replies still due and the end marker may wait on the program as well.
void AnswerScheduler::Finish(ResultSender& sender) {
  {
    const Watched watched(*this, sender);
    sender.SendEndMarker();
  }
  sender.Close();
}

void AnswerScheduler::Arm(ResultSender* sender) {
  std::lock_guard lock(lock_);
  watches_.push_back({sender, ::GetTickCount64() + messageTimeoutMs_});
}

void AnswerScheduler::Disarm(ResultSender* sender) {
  std::lock_guard lock(lock_);
  std::erase_if(watches_, [sender](const Watch& w) { return w.sender == sender; });
}

// Each watched step (writing one message, taking in the replies due) gets messageTimeoutMs_.
// While shutting down every delivery is aborted, again on each round: an abort that came just
// before a send began its I/O finds nothing to cancel.
void AnswerScheduler::WatchdogLoop() {
  std::unique_lock lock(lock_);
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (shuttingDown_ && (running_ == 0 || now >= shutdownDeadline_)) return;
    for (auto& w : watches_)
      if (shuttingDown_ || now > w.deadline) w.sender->Abort();
    idle_.wait_for(lock, std::chrono::milliseconds(shuttingDown_ ? 50 : 200));
  }
}
