// The service's index in this process, on a real folder tree: files made while the first scan
// runs, in folders it has already passed, are in the index once it counts as indexed.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/FileIndex.h"
#include "service/IndexStore.h"
#include "win/common/WideText.h"

namespace {

class TempTree {
 public:
  TempTree() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"ruvo-index-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(root_.c_str(), nullptr);
  }
  ~TempTree() { RemoveTree(root_); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::wstring& Root() const { return root_; }
  void Folder(const std::wstring& rel) { ::CreateDirectoryW((root_ + L"\\" + rel).c_str(), nullptr); }
  void File(const std::wstring& rel) { std::ofstream((root_ + L"\\" + rel).c_str()) << "x"; }

 private:
  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    const HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(h, &fd));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  std::wstring root_;
};

TEST(IndexStore, FilesMadeDuringTheFirstScanAreIndexed) {
  TempTree tree;
  for (int f = 0; f < 20; ++f) {
    const std::wstring folder = L"f" + std::to_wstring(f);
    tree.Folder(folder);
    for (int i = 0; i < 100; ++i) tree.File(folder + L"\\old" + std::to_wstring(i) + L".dat");
  }
  IndexStore store({tree.Root()});
  std::vector<std::wstring> made;
  std::atomic<bool> indexed{false};
  // Files keep coming, spread over every folder, for as long as the scan runs: every pass
  // sees some of them change behind it.
  std::thread maker([&] {
    for (int n = 0; n < 4000 && !indexed; ++n) {
      const std::wstring rel = L"f" + std::to_wstring(n % 20) + L"\\new" + std::to_wstring(n) + L".txt";
      tree.File(rel);
      made.push_back(rel);
      ::Sleep(1);
    }
  });
  store.Start();
  for (int i = 0; i < 600 && !store.AllIndexed(); ++i) ::Sleep(50);
  indexed = true;
  maker.join();
  ASSERT_TRUE(store.AllIndexed());
  ASSERT_FALSE(made.empty());
  // Files made after that reach the index through the watcher; give it a moment.
  auto missing = [&] {
    std::size_t count = 0;
    std::shared_lock lock(store.Lock());
    for (const auto& rel : made)
      if (store.Index().FindPath(U(tree.Root() + L"\\" + rel)) == FileIndex::kNone) ++count;
    return count;
  };
  for (int i = 0; i < 100 && missing() != 0; ++i) ::Sleep(50);
  EXPECT_EQ(missing(), 0u) << "of " << made.size();
  store.Stop();
}

}  // namespace
