#include "service/AnswerScheduler.h"

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <map>
#include <shared_mutex>
#include <system_error>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/SearchMessages.h"
#include "service/DirectoryWalker.h"
#include "service/IndexStore.h"
#include "service/ResultSender.h"
#include "win/common/WideText.h"

namespace {
// Runs the calling thread as the client for one scope.
class Impersonation {
 public:
  explicit Impersonation(const std::shared_ptr<UniqueKernelHandle>& token)
      : active_(token && *token && ::SetThreadToken(nullptr, token->get())) {}
  ~Impersonation() {
    if (active_) ::RevertToSelf();
  }
  bool Active() const { return active_; }
  Impersonation(const Impersonation&) = delete;
  Impersonation& operator=(const Impersonation&) = delete;

 private:
  bool active_;
};

// "C:\" stays, "C:\Data\" loses its backslash; anything but an absolute local or UNC path is
// refused, so a request never walks the service's working folder.
std::wstring NormalizeDir(const std::wstring& dir) {
  std::wstring d = dir;
  while (d.size() > 3 && d.back() == L'\\') d.pop_back();
  const bool drive = d.size() >= 3 && std::iswalpha(d[0]) && d[1] == L':' && d[2] == L'\\';
  const bool unc = d.size() > 2 && d[0] == L'\\' && d[1] == L'\\';
  if (!drive && !unc) return {};
  if (d.find(L'\0') != std::wstring::npos) return {};
  return d;
}

// Whether the impersonated caller may list the folder.
bool CanList(const std::wstring& folder) {
  UniqueFileHandle h(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return static_cast<bool>(h);
}
}  // namespace

AnswerScheduler::AnswerScheduler(IndexStore& store, std::size_t cap, DWORD messageTimeoutMs)
    : store_(store), cap_(cap), messageTimeoutMs_(messageTimeoutMs) {
  watchdog_ = std::thread([this] { WatchdogLoop(); });
}

AnswerScheduler::~AnswerScheduler() { Shutdown(); }

void AnswerScheduler::Shutdown() {
  std::unique_lock lock(lock_);
  if (shuttingDown_ && !watchdog_.joinable()) return;
  shuttingDown_ = true;
  for (auto& [box, state] : boxes_)
    if (state->cancel) *state->cancel = true;
  for (auto& w : watches_) w.sender->Abort();
  idle_.wait_for(lock, std::chrono::seconds(10), [this] { return running_ == 0; });
  lock.unlock();
  idle_.notify_all();
  if (watchdog_.joinable()) watchdog_.join();
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
    std::thread([this, work = std::move(work)] {
      work();
      GiveBack();
    }).detach();
    return true;
  } catch (const std::system_error&) {  // out of threads: the request is dropped
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
  const std::uint32_t id = request.searchBox;
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
        Answer(request, *box, *cancel);
        release();
      }))
    release();
}

void AnswerScheduler::Cancel(std::uint32_t searchBox) {
  std::lock_guard lock(lock_);
  const auto it = boxes_.find(searchBox);
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
    sender.DisconnectClient();
  });
}

bool AnswerScheduler::Walk(const std::wstring& dir, const NameQuery& query, const std::atomic<bool>& cancel,
                           const ItemSink& emit) {
  bool more = true;
  std::atomic<bool> stop{false};
  WalkDirectory(
      dir,
      [&](const std::wstring& parent, const std::wstring& name, bool) {
        if (query.Matches(U(name))) more = emit(U(JoinPath(parent, name)));
        if (!more || cancel) stop = true;
        return true;
      },
      &stop);
  return more && !cancel;
}

bool AnswerScheduler::Produce(const SearchRequest& request, const std::atomic<bool>& cancel, const ItemSink& emit) {
  const NameQuery query(request.wildcard);
  if (query.IsEmpty()) return true;
  Impersonation asClient(request.token);
  // A client token that cannot be taken on must not turn into the service's own rights.
  if (request.token && !asClient.Active()) return true;

  std::vector<std::wstring> walks;  // folders not (yet) served by the index
  std::vector<FileIndex::EntryId> scopes;
  if (request.dir.empty()) {
    for (std::size_t i = 0; i < store_.RootPaths().size(); ++i) {
      if (store_.IsRootIndexed(i)) scopes.push_back(store_.RootEntry(i));
      else walks.push_back(store_.RootPaths()[i]);
    }
  } else {
    const std::wstring dir = NormalizeDir(request.dir);
    if (dir.empty()) return true;
    const auto root = store_.RootOf(dir);
    FileIndex::EntryId scope = FileIndex::kNone;
    if (root && store_.IsRootIndexed(*root)) {
      std::shared_lock lock(store_.Lock());
      scope = store_.Index().FindPath(U(dir));
      if (!store_.Index().IsFolder(scope)) scope = FileIndex::kNone;
    }
    if (scope != FileIndex::kNone) scopes.push_back(scope);
    else walks.push_back(dir);
  }

  if (!scopes.empty()) {
    // Every hit is found at once; paths are built a batch at a time, so the index lock is held
    // only briefly and the first items leave before the rest are looked at. The cap counts
    // what the client may see, so hidden hits do not use it up.
    std::vector<FileIndex::EntryId> hits;
    {
      std::shared_lock lock(store_.Lock());
      hits = store_.Index().Search(query, scopes, static_cast<std::size_t>(-1), &cancel);
    }
    constexpr std::size_t kBatch = 256;
    std::map<std::u16string, bool> allowed;  // folder -> the client may list it
    std::vector<FileIndex::EntryId> batch;
    std::vector<std::u16string> paths;
    for (std::size_t at = 0; at < hits.size() && !cancel; at += kBatch) {
      {
        // The index may have changed since the search: a removed entry's slot can already
        // hold another name, so each hit is checked again.
        std::shared_lock lock(store_.Lock());
        const FileIndex& index = store_.Index();
        batch.clear();
        for (std::size_t i = at; i < std::min(hits.size(), at + kBatch); ++i)
          if (index.NameMatches(hits[i], query)) batch.push_back(hits[i]);
        paths = index.PathsOf(batch);
      }
      for (auto& path : paths) {
        const std::u16string folder = path.substr(0, path.find_last_of(u'\\'));
        auto it = allowed.find(folder);
        if (it == allowed.end()) {
          std::wstring dir = W(folder);
          if (dir.size() == 2) dir += L'\\';
          it = allowed.emplace(folder, CanList(dir)).first;
        }
        if (it->second && !emit(std::move(path))) return false;
        if (cancel) return false;
      }
    }
  }
  for (const auto& dir : walks)
    if (!Walk(dir, query, cancel, emit)) return false;
  return !cancel;
}

void AnswerScheduler::Answer(const SearchRequest& request, Box& box, const std::atomic<bool>& cancel) {
  // An older answer of this box still sending sees its cancel flag and lets go of the lock.
  std::lock_guard sending(box.sendLock);
  if (cancel) return;
  ResultSender sender(request.clientProcessId);
  if (!sender.Connect(kConnectTimeoutMs)) return;
  bool ok = Deliver(sender, BuildAnswerBegin(request.searchBox));
  std::size_t sent = 0;
  // Items go out as they are found; the answer ends at the cap.
  const bool complete = ok && Produce(request, cancel, [&](std::u16string path) {
    if (cancel) return false;  // nothing more of a cancelled answer goes out
    ok = Deliver(sender, BuildFoundItem(path, request.wildcard, request.searchBox));
    return ok && ++sent < cap_;
  });
  if (ok && !cancel && (complete || sent >= cap_)) Deliver(sender, BuildAnswerEnd(request.searchBox));
  sender.DisconnectClient();
}

// Only the sending is watched: a search may take its time between two items.
bool AnswerScheduler::Deliver(ResultSender& sender, const IMessageData& message) {
  Arm(&sender);
  const bool ok = sender.Send(message);
  Disarm(&sender);
  return ok;
}

void AnswerScheduler::Arm(ResultSender* sender) {
  std::lock_guard lock(lock_);
  watches_.push_back({sender, ::GetTickCount64() + messageTimeoutMs_});
}

void AnswerScheduler::Disarm(ResultSender* sender) {
  std::lock_guard lock(lock_);
  std::erase_if(watches_, [sender](const Watch& w) { return w.sender == sender; });
}

// Each message gets messageTimeoutMs_ to be answered.
void AnswerScheduler::WatchdogLoop() {
  std::unique_lock lock(lock_);
  while (!(shuttingDown_ && running_ == 0)) {
    idle_.wait_for(lock, std::chrono::milliseconds(200));
    const ULONGLONG now = ::GetTickCount64();
    for (auto& w : watches_)
      if (now > w.deadline) w.sender->Abort();
  }
}
