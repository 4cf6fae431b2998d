#pragma once
// What the service tests compare answers with.
#include <set>
#include <string>
#include <vector>

#include "core/FileIndexQuery.h"
#include "core/SearchMessages.h"
#include "service/DirectoryWalker.h"
#include "win/common/WideText.h"

namespace service_testing {

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
