#pragma once
// A folder of a test's own under the temporary folder, removed with everything in it when it
// goes.
#include <windows.h>

#include <fstream>
#include <string>
#include <string_view>

#include "win/common/Handle.h"

namespace testing_support {

class TempTree {
 public:
  // %TEMP%\<stem>-<process id>, made empty.
  explicit TempTree(const std::wstring& stem) {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    root_ = std::wstring(temp) + stem + L"-" + std::to_wstring(::GetCurrentProcessId());
    Remove(root_);
    ::CreateDirectoryW(root_.c_str(), nullptr);
  }
  ~TempTree() { Remove(L"\\\\?\\" + root_); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // No trailing backslash.
  const std::wstring& Root() const { return root_; }
  std::wstring Path(const std::wstring& rel) const { return root_ + L"\\" + rel; }
  // Makes a folder below the root; its parent must exist.
  void Folder(const std::wstring& rel) const { ::CreateDirectoryW(Path(rel).c_str(), nullptr); }
  void File(const std::wstring& rel, std::string_view content = "x") const {
    std::ofstream(Path(rel).c_str(), std::ios::binary) << content;
  }

 private:
  // Best effort: a file still in use stays behind. With the "\\?\" prefix, paths deeper than
  // MAX_PATH go too.
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    const UniqueFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &fd));
    if (find) {
      do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (folder && !link) Remove(path);
        else if (folder) ::RemoveDirectoryW(path.c_str());
        else ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find.get(), &fd));
    }
    ::RemoveDirectoryW(dir.c_str());
  }

  std::wstring root_;
};

}  // namespace testing_support
