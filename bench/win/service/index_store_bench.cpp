// The service's index on a real folder tree, in this process: how long the first scan takes
// and a scan again (as after lost notifications) with nothing changed, the longest a query
// waited for the index lock meanwhile, and what emptying the root (what each such pass used to
// begin with) costs under the writer lock.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <shared_mutex>
#include <string>
#include <thread>

#include "TempTree.h"
#include "core/FileIndex.h"
#include "service/IndexStore.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kFolders = 200, kFilesPerFolder = 200;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool WaitIndexed(IndexStore& store) {
  for (int i = 0; i < 6000 && !store.AllIndexed(); ++i) ::Sleep(10);
  return store.AllIndexed();
}

// Runs pass (which starts a scan) and waits for the root to count as indexed again, while a
// reader keeps taking the shared lock; returns the pass's time and the reader's longest wait.
std::pair<double, double> TimedPass(IndexStore& store, const std::function<void()>& pass) {
  std::atomic<bool> over{false};
  double longest = 0;
  std::thread reader([&] {
    while (!over) {
      const auto asked = Clock::now();
      {
        std::shared_lock lock(store.Lock());
        longest = std::max(longest, Ms(Clock::now() - asked));
      }
      ::Sleep(0);
    }
  });
  const auto start = Clock::now();
  pass();
  ::Sleep(20);  // the scan has begun: the root no longer counts as indexed
  WaitIndexed(store);
  const double took = Ms(Clock::now() - start);
  over = true;
  reader.join();
  return {took, longest};
}
}  // namespace

int main() {
  testing_support::TempTree tree(L"ruvo-index-bench");
  for (int f = 0; f < kFolders; ++f) {
    const std::wstring folder = L"folder " + std::to_wstring(f);
    tree.Folder(folder);
    for (int i = 0; i < kFilesPerFolder; ++i) tree.File(folder + L"\\file " + std::to_wstring(i) + L".dat");
  }
  IndexStore store({tree.Root()});
  const auto first = TimedPass(store, [&] { store.Start(); });
  if (!store.AllIndexed()) return 1;
  std::size_t entries;
  {
    std::shared_lock lock(store.Lock());
    entries = store.Index().Count();
  }
  std::printf("index store, %zu entries in %d folders\n", entries, kFolders);
  std::printf("  first scan:                  %8.1f ms, longest lock wait of a query %6.2f ms\n", first.first,
              first.second);
  const auto again = TimedPass(store, [&] { store.Rescan(0); });
  std::printf("  scan again, nothing changed: %8.1f ms, longest lock wait of a query %6.2f ms\n", again.first,
              again.second);
  store.Stop(DeadlineIn(10000));
  FileIndex copy = store.Index();
  const auto emptied = Clock::now();
  copy.RemoveChildren(store.RootEntry(0));
  std::printf("  emptying the root, as each pass did: %.1f ms (all under the writer lock)\n", Ms(Clock::now() - emptied));
  return 0;
}
