// The service's index in this process, on a real folder tree: files made while the first scan
// runs, in folders it has already passed, are in the index once it counts as indexed.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cstring>
#include <cwctype>
#include <initializer_list>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempTree.h"
#include "TestWait.h"
#include "core/FileIndex.h"
#include "core/TextUtils.h"
#include "service/DirectoryWalker.h"
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

// Every path the index holds below root, and every path the disk holds there.
std::set<std::u16string> IndexedBelow(IndexStore& store, const std::wstring& root) {
  std::shared_lock lock(store.Lock());
  const FileIndex& index = store.Index();
  std::set<std::u16string> out;
  std::vector<FileIndex::EntryId> stack{index.FindPath(U(root))};
  while (!stack.empty()) {
    const FileIndex::EntryId id = stack.back();
    stack.pop_back();
    for (const FileIndex::EntryId child : index.Children(id)) {
      out.insert(index.PathOf(child));
      stack.push_back(child);
    }
  }
  return out;
}

std::set<std::u16string> OnDisk(const std::wstring& root) {
  std::set<std::u16string> out;
  WalkDirectory(root, [&](const std::wstring& parent, const std::wstring& name, bool) {
    out.insert(U(JoinPath(parent, name)));
    return true;
  });
  return out;
}

// What the index holds that the disk does not ("+") and lacks ("-"), a line each.
std::string Difference(const std::set<std::u16string>& indexed, const std::set<std::u16string>& disk) {
  std::string out;
  for (const auto& path : indexed)
    if (!disk.count(path)) out += "+ " + Utf16ToUtf8(path) + "\n";
  for (const auto& path : disk)
    if (!indexed.count(path)) out += "- " + Utf16ToUtf8(path) + "\n";
  return out;
}

bool FoundIn(IndexStore& store, const std::wstring& path) {
  std::shared_lock lock(store.Lock());
  return store.Index().FindPath(U(path)) != FileIndex::kNone;
}

// Files come and go while the root is scanned again and again, as the watcher has it scanned
// each time notifications were lost: what stays on disk never leaves the index, and once the
// storm is over and the root counts as indexed, the index is the disk.
TEST(IndexStore, RescansInAStormKeepWhatStaysAndEndExact) {
  TempTree tree(L"ruvo-storm");
  for (int f = 0; f < 10; ++f) {
    const std::wstring folder = L"f" + std::to_wstring(f);
    tree.Folder(folder);
    for (int i = 0; i < 200; ++i) tree.File(folder + L"\\keep" + std::to_wstring(i) + L".dat");
  }
  tree.Folder(L"storm");
  IndexStore store({tree.Root()});
  store.Start();
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
  ASSERT_TRUE(store.AllIndexed());

  const std::wstring staying[] = {tree.Path(L"f0\\keep0.dat"), tree.Path(L"f9\\keep199.dat"), tree.Path(L"f5")};
  std::atomic<bool> over{false};
  std::thread storm([&] {
    for (int n = 0; n < 3000; ++n) {
      tree.File(L"storm\\s" + std::to_wstring(n) + L".tmp");
      if (n % 2) ::DeleteFileW(tree.Path(L"storm\\s" + std::to_wstring(n - 1) + L".tmp").c_str());
      if (n % 100 == 0) store.Rescan(0);
    }
    over = true;
  });
  int samples = 0, missing = 0;
  while (!over) {
    for (const auto& path : staying) missing += FoundIn(store, path) ? 0 : 1;
    ++samples;
    ::Sleep(1);
  }
  storm.join();
  EXPECT_EQ(missing, 0) << "in " << samples << " looks";
  auto exact = [&] { return store.AllIndexed() && IndexedBelow(store, tree.Root()) == OnDisk(tree.Root()); };
  WaitUntil(exact, 30000);
  EXPECT_TRUE(store.AllIndexed());
  EXPECT_EQ(Difference(IndexedBelow(store, tree.Root()), OnDisk(tree.Root())), "");
  EXPECT_EQ(OnDisk(tree.Path(L"storm")).size(), 1500u);
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

// Deletes a watched folder the way its removal completes while the service holds it open:
// under Wine a Windows program's removal would wait for the last handle (and a watch never
// hears of it), so the folder goes from the Unix side there.
bool RemoveWatchedFolder(const std::wstring& folder) {
  const std::wstring unixFolder = UnixPath(folder);
  if (!unixFolder.empty()) {
    if (!StartUnixProgram(L"Z:\\bin\\rm", L"-rf \"" + unixFolder + L"\"")) return false;
  } else {
    for (const DirectoryEntry& entry : ListDirectory(folder)) ::DeleteFileW(JoinPath(folder, entry.name).c_str());
    if (!::RemoveDirectoryW(folder.c_str())) return false;
  }
  return WaitUntil([&] { return ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
}

TEST(IndexStore, ARootDeletedAndMadeAgainIsWatchedAgain) {
  TempTree tree(L"ruvo-return");
  const std::wstring root = tree.Path(L"watched");
  tree.Folder(L"watched");
  tree.File(L"watched\\before.txt");
  tree.Folder(L"watched\\inside");
  for (int i = 0; i < 50; ++i) tree.File(L"watched\\inside\\held" + std::to_wstring(i) + L".txt");
  IndexStore store({root});
  store.Start();
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
  ASSERT_TRUE(FoundIn(store, root + L"\\before.txt"));

  ASSERT_TRUE(RemoveWatchedFolder(root));
  auto emptied = [&] { return store.AllIndexed() && IndexedBelow(store, root).empty(); };
  WaitUntil(emptied, 10000);
  EXPECT_TRUE(emptied());

  ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
  tree.File(L"watched\\with-it.txt");
  WaitUntil([&] { return store.AllIndexed() && FoundIn(store, root + L"\\with-it.txt"); }, 10000);
  EXPECT_TRUE(FoundIn(store, root + L"\\with-it.txt"));
  // Heard by the watch, not only found by the scan of the root's return.
  WaitUntil([&] { return store.AllIndexed(); }, 10000);
  tree.File(L"watched\\after.txt");
  WaitUntil([&] { return FoundIn(store, root + L"\\after.txt"); }, 10000);
  EXPECT_TRUE(FoundIn(store, root + L"\\after.txt"));
  EXPECT_FALSE(FoundIn(store, root + L"\\before.txt"));
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

// Folders deeper than MAX_PATH, found by the first scan and heard by the watch. (Wine has no
// such limit on paths; Windows has it without the "\\?\" prefix.)
TEST(IndexStore, PathsLongerThanMaxPathAreIndexed) {
  TempTree tree(L"ruvo-long");
  std::wstring rel;
  for (int i = 0; i < 6; ++i) {
    rel += (i ? L"\\" : L"") + std::wstring(50, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(tree.Path(rel)).c_str(), nullptr));
  }
  auto make = [&](const std::wstring& path) {
    UniqueFileHandle file(
        ::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  };
  const std::wstring deep = tree.Path(rel + L"\\deep.txt"), later = tree.Path(rel + L"\\later.txt");
  ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH));
  ASSERT_TRUE(make(deep));
  IndexStore store({tree.Root()});
  store.Start();
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
  EXPECT_TRUE(FoundIn(store, deep));
  ASSERT_TRUE(make(later));
  WaitUntil([&] { return FoundIn(store, later); }, 10000);
  EXPECT_TRUE(FoundIn(store, later));
  EXPECT_EQ(Difference(IndexedBelow(store, tree.Root()), OnDisk(tree.Root())), "");
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

// A drive that comes after start, as Wine makes one: a link in the prefix's "dosdevices"
// folder. Its root is indexed and watched while it is there, and emptied when it goes.
TEST(IndexStore, AFixedDriveAddedAfterStartIsIndexedUntilItGoes) {
  const std::wstring unixC = UnixPath(L"C:\\");
  const std::size_t at = unixC.rfind(L"/dosdevices/c:");
  if (at == std::wstring::npos) GTEST_SKIP() << "drives are added this way under Wine only";
  wchar_t letter = L'Y';
  while (letter > L'M' && ::GetDriveTypeW((std::wstring(1, letter) + L":\\").c_str()) != DRIVE_NO_ROOT_DIR) --letter;
  const std::wstring drive = std::wstring(1, letter) + L":\\";
  const std::wstring link = unixC.substr(0, at) + L"/dosdevices/" + static_cast<wchar_t>(std::towlower(letter)) + L":";
  TempTree target(L"ruvo-drive");
  target.File(L"on-the-drive.txt");
  IndexStore store({drive}, true);
  store.Start();
  WaitUntil([&] { return store.AllIndexed(); }, 30000);
  ASSERT_TRUE(store.AllIndexed());
  EXPECT_FALSE(FoundIn(store, drive + L"on-the-drive.txt"));

  ASSERT_TRUE(StartUnixProgram(L"Z:\\bin\\ln", L"-sfn \"" + UnixPath(target.Root()) + L"\" \"" + link + L"\""));
  WaitUntil([&] { return store.AllIndexed() && FoundIn(store, drive + L"on-the-drive.txt"); }, 10000);
  EXPECT_TRUE(FoundIn(store, drive + L"on-the-drive.txt"));
  target.File(L"later.txt");
  WaitUntil([&] { return FoundIn(store, drive + L"later.txt"); }, 10000);
  EXPECT_TRUE(FoundIn(store, drive + L"later.txt"));

  ASSERT_TRUE(StartUnixProgram(L"Z:\\bin\\rm", L"-f \"" + link + L"\""));
  WaitUntil([&] { return store.AllIndexed() && !FoundIn(store, drive + L"later.txt"); }, 10000);
  EXPECT_FALSE(FoundIn(store, drive + L"later.txt"));
  EXPECT_TRUE(store.Stop(DeadlineIn(10000)));
}

}  // namespace
