// The service's index in this process, on a real folder tree: files made while the first scan
// runs, in folders it has already passed, are in the index once it counts as indexed.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TempTree.h"
#include "TestWait.h"
#include "core/FileIndex.h"
#include "service/IndexStore.h"
#include "win/common/WideText.h"

namespace {

using testing_support::TempTree;
using testing_support::WaitUntil;

TEST(IndexStore, FilesMadeDuringTheFirstScanAreIndexed) {
  TempTree tree(L"ruvo-index");
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
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
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
  WaitUntil([&] { return missing() == 0; }, 5000);
  EXPECT_EQ(missing(), 0u) << "of " << made.size();
  store.Stop();
}

}  // namespace
