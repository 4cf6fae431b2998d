#include "core/ListingCheck.h"

#include "core/ResultPath.h"

ListingCheck::ListingCheck(std::vector<std::u16string> scopes, CanList canList)
    : scopes_(std::move(scopes)), canList_(std::move(canList)) {}

bool ListingCheck::IsScope(std::u16string_view folder) const {
  for (const auto& s : scopes_)
    if (s == folder) return true;
  return false;
}

bool ListingCheck::Allows(std::u16string_view path) {
  // The folders not yet known, from the item's own folder upwards, until a known one, a scope
  // or the top.
  if (FileDirPart(path).empty()) return false;  // no folder: nothing to show it under
  std::vector<std::u16string> unknown;
  bool above = true;  // what is known of the folders above the last one collected
  for (std::u16string_view folder = FileDirPart(path); !folder.empty();) {
    std::u16string key(folder);
    const auto it = known_.find(key);
    if (it != known_.end()) {
      above = it->second;
      break;
    }
    unknown.push_back(std::move(key));
    if (IsScope(folder)) break;
    const std::u16string_view parent = FileDirPart(folder);
    if (parent.size() >= folder.size()) break;  // a drive root
    folder = parent;
  }
  // Downwards: a folder below one that may not be listed is not asked about.
  for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
    above = above && canList_(*it);
    known_.emplace(std::move(*it), above);
  }
  return above;
}
