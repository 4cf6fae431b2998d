#pragma once
// Produces one answer's items: folders the index serves are looked up in it, the others are
// walked, and a path goes out only when the client may list every folder it names below the
// searched one. With the client's token the work runs as the client, so the answer holds what
// the user may see.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "win/common/Handle.h"

class IndexStore;
class NameQuery;

struct SearchRequest {
  std::wstring dir;
  std::u16string wildcard;
  std::uint32_t searchBox = 0;
  DWORD clientProcessId = 0;
  // The client's impersonation token; empty runs with the service's own rights.
  std::shared_ptr<UniqueKernelHandle> token;
};

// Whether the calling thread (as the client, while it impersonates one) may list the folder.
bool CanListAsCaller(const std::wstring& folder);

class AnswerProducer {
 public:
  // Receives one found path, and whether another follows at once (found already, so the
  // sender may gather them into one write); false ends the answer (cap reached, or the
  // program gone).
  using ItemSink = std::function<bool(std::u16string path, bool moreAtOnce)>;
  // Whether the client may list a folder ("C:\" for a drive root), asked on the answer's
  // thread while it runs as the client.
  using FolderCheck = std::function<bool(const std::wstring& folder)>;

  explicit AnswerProducer(IndexStore& store, FolderCheck canList = CanListAsCaller)
      : store_(store), canList_(std::move(canList)) {}

  // Hands every path the client may see to emit, as found. True when all were offered.
  bool Produce(const SearchRequest& request, const std::atomic<bool>& cancel, const ItemSink& emit) const;

 private:
  bool Walk(const std::wstring& dir, const NameQuery& query, const std::atomic<bool>& cancel, const ItemSink& emit) const;

  IndexStore& store_;
  FolderCheck canList_;
};
