// The service's index in this process, on a real folder tree: files made while the first scan
// runs, in folders it has already passed, are in the index once it counts as indexed.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempTree.h"
#include "TestWait.h"
#include "core/FileIndex.h"
#include "core/TextUtils.h"
#include "service/IndexStore.h"
#include "win/common/Handle.h"
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
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

// Starts a program of the machine under Wine, which starts Unix programs too. Its process
// handle cannot be waited for, so callers wait for what it does.
bool StartUnixProgram(const std::wstring& program, const std::wstring& args) {
  std::wstring cmd = L"\"" + program + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                        &pi))
    return false;
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  return true;
}

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring UnixPath(const std::wstring& path) {
  using ToUnix = char* (*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
  if (!unix) return {};
  const std::wstring out = W(Utf8ToUtf16(unix));
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return out;
}

// A junction at link to target. Wine 8 refuses reparse data (ERROR_NOT_SUPPORTED), but shows
// a Unix symbolic link to a folder as a folder that is a reparse point: under Wine the link is
// made with ln, on Windows it is a mount point.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  const std::wstring unixLink = UnixPath(link), unixTarget = UnixPath(target);
  if (!unixLink.empty() && !unixTarget.empty()) {
    if (!StartUnixProgram(L"Z:\\bin\\ln", L"-sfn \"" + unixTarget + L"\" \"" + unixLink + L"\"")) return false;
    return WaitUntil([&] { return IsReparsePoint(link); }, 10000);
  }
  if (::CreateDirectoryW(link.c_str(), nullptr)) {
    UniqueFileHandle dir(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::wstring substitute = L"\\??\\" + target;
    const std::size_t nameBytes = substitute.size() * sizeof(wchar_t);
    // REPARSE_DATA_BUFFER of a mount point: tag, length, reserved, the names' offsets and
    // lengths, the substitute name and an empty print name.
    std::vector<BYTE> data(8 + 8 + nameBytes + 2 * sizeof(wchar_t));
    auto put16 = [&](std::size_t at, std::size_t v) {
      data[at] = static_cast<BYTE>(v);
      data[at + 1] = static_cast<BYTE>(v >> 8);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, 4);
    put16(4, data.size() - 8);
    put16(10, nameBytes);
    put16(12, nameBytes + sizeof(wchar_t));
    std::memcpy(data.data() + 16, substitute.data(), nameBytes);
    DWORD ignored = 0;
    if (!dir || !::DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                                   nullptr, 0, &ignored, nullptr))
      return false;
  }
  return IsReparsePoint(link);
}

// Removes the links again however the test ends (the tree's removal does not take a Unix link).
class Junctions {
 public:
  Junctions(std::initializer_list<std::wstring> links) : links_(links) {}
  ~Junctions() {
    for (const auto& link : links_) {
      if (::RemoveDirectoryW(link.c_str()) || ::DeleteFileW(link.c_str())) continue;
      const std::wstring unixLink = UnixPath(link);
      if (!unixLink.empty() && StartUnixProgram(L"Z:\\bin\\rm", L"-f \"" + unixLink + L"\""))
        WaitUntil([&] { return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
    }
  }
  Junctions(const Junctions&) = delete;
  Junctions& operator=(const Junctions&) = delete;

 private:
  std::vector<std::wstring> links_;
};

// A junction back to the tree's own root, there from the start and made while the tree is
// watched: each is an entry, and nothing is indexed through it.
TEST(IndexStore, JunctionsAreListedButNeverEntered) {
  TempTree tree(L"ruvo-junction");
  tree.Folder(L"docs");
  tree.File(L"docs\\a.txt");
  tree.File(L"b.txt");
  const std::wstring loop = tree.Path(L"loop"), later = tree.Path(L"later");
  const Junctions links{loop, later};
  ASSERT_TRUE(MakeJunction(loop, tree.Root()));
  IndexStore store({tree.Root()});
  store.Start();
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
  ASSERT_TRUE(store.AllIndexed());

  ASSERT_TRUE(MakeJunction(later, tree.Root()));
  // Changes are applied in order: once the file made after the junction is in, so is the
  // junction.
  tree.File(L"marker.txt");
  auto find = [&](const std::wstring& rel) {
    std::shared_lock lock(store.Lock());
    return store.Index().FindPath(U(tree.Path(rel)));
  };
  WaitUntil([&] { return find(L"marker.txt") != FileIndex::kNone; }, 10000);
  ASSERT_NE(find(L"marker.txt"), FileIndex::kNone);
  for (const wchar_t* link : {L"loop", L"later"}) {
    EXPECT_NE(find(link), FileIndex::kNone) << link;
    for (const wchar_t* inside : {L"\\b.txt", L"\\docs", L"\\docs\\a.txt", L"\\loop"})
      EXPECT_EQ(find(std::wstring(link) + inside), FileIndex::kNone) << link << inside;
  }
  {
    std::shared_lock lock(store.Lock());
    // docs, a.txt, b.txt, loop, later, marker.txt
    EXPECT_EQ(store.Index().Count(), 6u);
  }
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

}  // namespace
