#include "service/DirectoryWalker.h"

#include <vector>

#include "win/common/Handle.h"

std::wstring JoinPath(const std::wstring& parent, const std::wstring& name) {
  if (!parent.empty() && parent.back() == L'\\') return parent + name;
  return parent + L'\\' + name;
}

bool WalkDirectory(const std::wstring& start, const WalkVisitor& visit, const std::atomic<bool>* stop) {
  // The start too: a junction handed in as a folder (a new one the watcher saw, a link the
  // client browses) would bring its whole target, another drive or the tree itself.
  const DWORD startAttributes = ::GetFileAttributesW(start.c_str());
  if (startAttributes != INVALID_FILE_ATTRIBUTES && (startAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  std::vector<std::wstring> pending{start};
  while (!pending.empty()) {
    if (stop && stop->load()) return false;
    const std::wstring folder = std::move(pending.back());
    pending.pop_back();
    WIN32_FIND_DATAW fd;
    UniqueFindHandle find(
        ::FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    if (!find) continue;
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const bool isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool enter = visit(folder, name, isFolder);
      if (isFolder && enter && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        pending.push_back(JoinPath(folder, name));
    } while (::FindNextFileW(find.get(), &fd));
  }
  return true;
}
