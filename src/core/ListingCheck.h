#pragma once
// Whether a found path may go to a client: a path names every folder on its way, so the client
// must be allowed to list each of them, from the searched folder (the scope) down to the
// item's own folder, not only the last. One check serves one answer and asks about each
// folder once, since the hits of an answer share most of their folders.
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ListingCheck {
 public:
  // Whether the client may list the folder ("C:\" for a drive root).
  using CanList = std::function<bool(const std::u16string& folder)>;

  // scopes: the searched folders, as the paths of their hits begin.
  ListingCheck(std::vector<std::u16string> scopes, CanList canList);

  // True when every folder from the path's scope down to its own folder may be listed. A
  // path under no scope is checked all the way up.
  bool Allows(std::u16string_view path);

 private:
  bool IsScope(std::u16string_view folder) const;

  std::vector<std::u16string> scopes_;
  CanList canList_;
  std::unordered_map<std::u16string, bool> known_;  // folder -> it and those above it may be listed
};
