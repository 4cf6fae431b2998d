#include "service/DirectoryWalker.h"

#include "win/common/Handle.h"

std::wstring JoinPath(const std::wstring& parent, const std::wstring& name) {
  if (!parent.empty() && parent.back() == L'\\') return parent + name;
  return parent + L'\\' + name;
}

std::wstring ExtendedPath(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.')
    return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

bool IsEnterableFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<DirectoryEntry> ListDirectory(const std::wstring& folder) {
  std::vector<DirectoryEntry> entries;
  WIN32_FIND_DATAW fd;
  UniqueFindHandle find(::FindFirstFileExW(ExtendedPath(JoinPath(folder, L"*")).c_str(), FindExInfoBasic, &fd,
                                           FindExSearchNameMatch, nullptr, 0));
  if (!find) return entries;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (::FindNextFileW(find.get(), &fd));
  return entries;
}

bool WalkDirectory(const std::wstring& start, const WalkVisitor& visit, const std::atomic<bool>* stop) {
  // The start too: a junction handed in as a folder (a new one the watcher saw, a link the
  // client browses) would bring its whole target, another drive or the tree itself.
  const DWORD startAttributes = ::GetFileAttributesW(ExtendedPath(start).c_str());
  if (startAttributes != INVALID_FILE_ATTRIBUTES && (startAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  std::vector<std::wstring> pending{start};
  while (!pending.empty()) {
    if (stop && stop->load()) return false;
    const std::wstring folder = std::move(pending.back());
    pending.pop_back();
    for (const DirectoryEntry& entry : ListDirectory(folder))
      if (visit(folder, entry.name, entry.isFolder) && entry.isFolder && !entry.isReparsePoint)
        pending.push_back(JoinPath(folder, entry.name));
  }
  return true;
}
