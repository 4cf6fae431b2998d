#include "service/AnswerProducer.h"

#include <algorithm>
#include <cwctype>
#include <shared_mutex>
#include <vector>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/ListingCheck.h"
#include "core/Wildcard.h"
#include "service/DirectoryWalker.h"
#include "service/IndexStore.h"
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

}  // namespace

bool CanListAsCaller(const std::wstring& folder) {
  UniqueFileHandle h(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return static_cast<bool>(h);
}

bool AnswerProducer::Walk(const std::wstring& dir, const NameQuery& query, const std::atomic<bool>& cancel,
                          const ItemSink& emit) const {
  bool more = true;
  std::atomic<bool> stop{false};
  WalkDirectory(
      dir,
      [&](const std::wstring& parent, const std::wstring& name, bool) {
        if (more && query.Matches(U(name))) more = emit(U(JoinPath(parent, name)), false);
        if (!more || cancel) stop = true;
        return true;
      },
      &stop);
  return more && !cancel;
}

bool AnswerProducer::Produce(const SearchRequest& request, const std::atomic<bool>& cancel,
                             const ItemSink& emit) const {
  // A pattern past the cap is answered with nothing; runs of stars cost nothing once
  // simplified.
  if (request.wildcard.size() > kMaxWildcardChars) return true;
  const NameQuery query(SimplifyWildcard(request.wildcard));
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
    std::vector<std::u16string> scopePaths;
    {
      std::shared_lock lock(store_.Lock());
      hits = store_.Index().Search(query, scopes, static_cast<std::size_t>(-1), &cancel);
      for (const FileIndex::EntryId scope : scopes) scopePaths.push_back(store_.Index().PathOf(scope));
    }
    constexpr std::size_t kBatch = 256;
    ListingCheck listing(std::move(scopePaths), [this](const std::u16string& folder) { return canList_(W(folder)); });
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
      for (std::size_t i = 0; i < paths.size(); ++i) {
        // Only the batch's last path waits on the next batch's look-up.
        if (listing.Allows(paths[i]) && !emit(std::move(paths[i]), i + 1 < paths.size())) return false;
        if (cancel) return false;
      }
    }
  }
  for (const auto& dir : walks)
    if (!Walk(dir, query, cancel, emit)) return false;
  return !cancel;
}
