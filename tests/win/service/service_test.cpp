// RuvoService.exe in console mode on a generated tree, driven the way the program drives it:
// requests on "SearchRequestPipe", results recorded from our own "SearchResultPipe".
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "core/FileIndexQuery.h"
#include "core/SearchMessages.h"
#include "core/TextUtils.h"
#include "core/Wildcard.h"
#include "service/DirectoryWalker.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "ServiceTestSupport.h"
#include "TempTree.h"
#include "TestProcess.h"

namespace {
using service_testing::Expected;
using service_testing::Items;
using service_testing::Received;
using service_testing::ResultRecorder;
using service_testing::SendRequest;
using namespace std::chrono_literals;


testing_support::TempTree* g_temp = nullptr;
std::wstring g_tree;
testing_support::ChildProcess* g_service = nullptr;
ResultRecorder* g_recorder = nullptr;

void WriteFileAt(const std::wstring& path) { std::ofstream(path.c_str()) << "x"; }


std::uint32_t g_nextBox = 1000;

// One complete answer: the item paths, in order, and the whole message sequence.
std::vector<Received> Query(const std::wstring& dir, const std::u16string& wildcard, std::uint32_t box = 0) {
  if (box == 0) box = ++g_nextBox;
  const std::size_t before = g_recorder->ForBox(box).size();
  EXPECT_TRUE(SendRequest(BuildSearchRequest(U(dir), wildcard, box)));
  EXPECT_TRUE(g_recorder->WaitEnds(box, 1));
  auto all = g_recorder->ForBox(box);
  return std::vector<Received>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}


class ServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_temp = new testing_support::TempTree(L"ruvo-service");
    g_tree = g_temp->Root();
    const wchar_t* folders[] = {L"Reports", L"Music", L"Photos", L"Reports\\Old Reports", L"Deep", L"Deep\\A", L"Deep\\A\\B"};
    for (auto f : folders) ::CreateDirectoryW((g_tree + L"\\" + f).c_str(), nullptr);
    const wchar_t* files[] = {L"Reports\\report-2023.txt", L"Reports\\Report-2024.DOCX", L"Reports\\Old Reports\\r1.txt",
                              L"Music\\song report.mp3", L"Music\\tune.mp3", L"Photos\\IMG_0001.jpg",
                              L"Deep\\A\\B\\needle.txt", L"readme.TXT"};
    for (auto f : files) WriteFileAt(g_tree + L"\\" + f);
    for (int i = 0; i < 300; ++i) WriteFileAt(g_tree + L"\\Deep\\A\\bulk" + std::to_wstring(i) + L".dat");
    g_recorder = new ResultRecorder();
    const std::wstring args = L"/console /root \"" + g_tree + L"\" /update C:\\updates\\RuvoSetup.exe 9.9.1";
    g_service = new testing_support::ChildProcess(ExeDirectory() + L"RuvoService.exe", args,
                                                  {.creationFlags = CREATE_NO_WINDOW});
    ASSERT_TRUE(g_service->Valid());
    // Reachable within 10 s, then indexed: a file made now is found once the watcher runs.
    TIPCClient probe;
    probe.SetServerName(kSearchRequestPipe);
    for (int i = 0; i < 100 && !probe.IsConnected(); ++i) probe.ConnectClient(100);
    ASSERT_TRUE(probe.IsConnected());
    probe.DisconnectClient();
  }
  static void TearDownTestSuite() {
    delete g_service;  // ends it
    g_service = nullptr;
    delete g_temp;
    g_temp = nullptr;
    delete g_recorder;
  }
  // Polls until the answer for wildcard contains (or lacks) path.
  static bool Eventually(const std::u16string& wildcard, const std::wstring& path, bool present) {
    for (int i = 0; i < 50; ++i) {
      if (Items(Query(g_tree, wildcard)).count(U(path)) == (present ? 1u : 0u)) return true;
      std::this_thread::sleep_for(200ms);
    }
    return false;
  }
};

TEST_F(ServiceTest, SubstringAndWildcardAnswersEqualAWalk) {
  const std::u16string queries[] = {u"report", u"REPORT", u"*.txt", u"r?port*", u"*.mp3", u"needle", u"bulk1*", u"b"};
  for (const auto& q : queries) {
    const auto answer = Query(g_tree, q);
    ASSERT_GE(answer.size(), 2u);
    EXPECT_EQ(answer.front().action, kActionAnswerBegin);
    EXPECT_EQ(answer.back().action, kActionAnswerEnd);
    EXPECT_TRUE(answer.back().fileName.empty() && answer.back().wildcard.empty());
    for (std::size_t i = 1; i + 1 < answer.size(); ++i) {
      EXPECT_EQ(answer[i].action, kActionFoundItem);
      EXPECT_EQ(answer[i].wildcard, q);
    }
    EXPECT_EQ(Items(answer), Expected(g_tree, q)) << Utf16ToUtf8(q);
  }
  // Folders are items too.
  EXPECT_EQ(Items(Query(g_tree, u"old rep")), (std::set<std::u16string>{U(g_tree + L"\\Reports\\Old Reports")}));
}

TEST_F(ServiceTest, ScopeIsTheFolderAndBelow) {
  const std::wstring reports = g_tree + L"\\Reports";
  EXPECT_EQ(Items(Query(reports, u"r")), Expected(reports, u"r"));
  EXPECT_EQ(Items(Query(reports + L"\\", u"*.txt")).size(), 2u);
  EXPECT_TRUE(Items(Query(g_tree + L"\\Music", u"2023")).empty());
}

TEST_F(ServiceTest, EmptyAnswerIsBeginThenEnd) {
  const auto answer = Query(g_tree, u"no-such-name-anywhere");
  ASSERT_EQ(answer.size(), 2u);
  EXPECT_EQ(answer[0].action, kActionAnswerBegin);
  EXPECT_EQ(answer[1].action, kActionAnswerEnd);
  EXPECT_EQ(Query(g_tree + L"\\Missing Folder", u"report").size(), 2u);
  EXPECT_EQ(Query(L"relative\\dir", u"report").size(), 2u);
}

// A query longer than anyone types is answered, with nothing; one at the cap, even of stars
// alone, is answered as its short form is.
TEST_F(ServiceTest, LongPatternsAreCappedAndStarsCostNothing) {
  const std::u16string stars(kMaxWildcardChars - 8, u'*');
  const std::u16string atCap = u"needle" + stars + u"xt";
  ASSERT_EQ(atCap.size(), kMaxWildcardChars);
  const auto refused = Query(g_tree, atCap + u"*");
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[0].action, kActionAnswerBegin);
  EXPECT_EQ(refused[1].action, kActionAnswerEnd);
  const auto answered = Query(g_tree, atCap);
  EXPECT_EQ(Items(answered), (std::set<std::u16string>{U(g_tree + L"\\Deep\\A\\B\\needle.txt")}));
  EXPECT_EQ(answered[1].wildcard, atCap);  // the query as it came, not its short form
  EXPECT_EQ(Items(Query(g_tree, std::u16string(kMaxWildcardChars, u'*'))), Expected(g_tree, u"*"));
}

TEST_F(ServiceTest, NewQueryForTheSameBoxCancelsTheOlder) {
  const std::uint32_t box = 77;
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"*", box)));
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"needle", box)));
  ASSERT_TRUE(g_recorder->WaitEnds(box, 1));
  std::this_thread::sleep_for(500ms);
  const auto seen = g_recorder->ForBox(box);
  // Nothing of the older answer after the newer one's first item.
  const auto first = std::find_if(seen.begin(), seen.end(), [](const Received& r) { return r.wildcard == u"needle"; });
  ASSERT_NE(first, seen.end());
  EXPECT_TRUE(std::none_of(first, seen.end(), [](const Received& r) { return r.wildcard == u"*"; }));
  EXPECT_EQ(seen.back().action, kActionAnswerEnd);
  EXPECT_EQ(std::prev(seen.end(), 2)->fileName, U(g_tree + L"\\Deep\\A\\B\\needle.txt"));
}

TEST_F(ServiceTest, TwoSearchBoxesAtOnce) {
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"bulk", 501)));
  ASSERT_TRUE(SendRequest(BuildSearchRequest(U(g_tree), u"*.mp3", 502)));
  ASSERT_TRUE(g_recorder->WaitEnds(501, 1));
  ASSERT_TRUE(g_recorder->WaitEnds(502, 1));
  EXPECT_EQ(Items(g_recorder->ForBox(501)).size(), 300u);
  EXPECT_EQ(Items(g_recorder->ForBox(502)), Expected(g_tree, u"*.mp3"));
}

TEST_F(ServiceTest, CreatedRenamedAndDeletedFilesAreFollowed) {
  const std::wstring made = g_tree + L"\\Photos\\freshly-made.txt";
  WriteFileAt(made);
  EXPECT_TRUE(Eventually(u"freshly", made, true));
  const std::wstring renamed = g_tree + L"\\Music\\renamed-later.txt";
  ASSERT_TRUE(::MoveFileW(made.c_str(), renamed.c_str()));
  EXPECT_TRUE(Eventually(u"renamed-later", renamed, true));
  EXPECT_TRUE(Eventually(u"freshly", made, false));
  ASSERT_TRUE(::DeleteFileW(renamed.c_str()));
  EXPECT_TRUE(Eventually(u"renamed-later", renamed, false));
}

void RawWrite(const std::vector<std::uint8_t>& bytes, bool closeEarly) {
  UniqueFileHandle pipe;
  for (int i = 0; i < 50 && !pipe; ++i) {
    pipe.reset(::CreateFileW(L"\\\\.\\pipe\\SearchRequestPipe", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    if (!pipe) ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchRequestPipe", 100);
  }
  ASSERT_TRUE(pipe);
  DWORD n = 0;
  ::WriteFile(pipe.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  if (closeEarly) return;
  std::uint8_t reply[16];
  DWORD got = 0;
  ::ReadFile(pipe.get(), reply, sizeof(reply), &got, nullptr);
}

TEST_F(ServiceTest, BadRequestsLeaveItAnswering) {
  auto unknown = NewMessageData();
  unknown->Data().WriteCardinal(u"Action", 42);
  EXPECT_TRUE(SendRequest(unknown));
  auto noFields = NewMessageData();
  noFields->Data().WriteCardinal(u"Action", 1);
  EXPECT_TRUE(SendRequest(noFields));
  EXPECT_TRUE(SendRequest(NewMessageData()));
  // A data size far beyond any message, a storage whose name length runs past its end, and a
  // client that leaves in the middle of a frame.
  RawWrite({0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, true);
  RawWrite({0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 'A', 0, 'c', 0}, false);
  RawWrite({0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}, true);
  // It goes on answering.
  EXPECT_EQ(Items(Query(g_tree, u"needle")), (std::set<std::u16string>{U(g_tree + L"\\Deep\\A\\B\\needle.txt")}));
  ASSERT_TRUE(g_service->Valid());
  EXPECT_EQ(g_service->ExitCode(), static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(ServiceTest, CancelForAnIdleBoxIsHarmlessAndStartupReportAnnouncesTheUpdate) {
  EXPECT_TRUE(SendRequest(BuildCancelRequest(12345)));
  EXPECT_TRUE(SendRequest(BuildChannelReport(7)));
  const auto updates = g_recorder->Updates(10s);
  ASSERT_FALSE(updates.empty());
  EXPECT_EQ(updates.front().fileName, u"C:\\updates\\RuvoSetup.exe");
  EXPECT_EQ(updates.front().version, u"9.9.1");
}

// Thousands of files made and deleted faster than one read of changes holds (the system then
// drops them and the root is scanned again), while queries keep coming: each is answered, and
// once the burst is over the answers are the disk's.
TEST_F(ServiceTest, AnOverflowStormLeavesItAnsweringAndRight) {
  const std::wstring storm = g_tree + L"\\Storm";
  ASSERT_TRUE(::CreateDirectoryW(storm.c_str(), nullptr));
  std::atomic<bool> over{false};
  std::thread maker([&] {
    for (int n = 0; n < 4000; ++n) {
      WriteFileAt(storm + L"\\gust" + std::to_wstring(n) + L".tmp");
      if (n % 2) ::DeleteFileW((storm + L"\\gust" + std::to_wstring(n - 1) + L".tmp").c_str());
    }
    over = true;
  });
  int answered = 0;
  for (; !over; ++answered) {
    const auto answer = Query(g_tree, u"gust");
    if (answer.empty() || answer.back().action != kActionAnswerEnd) break;
  }
  maker.join();
  EXPECT_TRUE(over) << "a query went unanswered after " << answered;
  ASSERT_EQ(Expected(storm, u"gust").size(), 2000u);
  bool right = false;
  for (int i = 0; i < 100 && !right; ++i) {
    right = Items(Query(g_tree, u"gust")) == Expected(g_tree, u"gust") &&
            Items(Query(g_tree, u"needle")) == Expected(g_tree, u"needle");
    if (!right) std::this_thread::sleep_for(200ms);
  }
  EXPECT_TRUE(right);
  EXPECT_EQ(g_service->ExitCode(), static_cast<DWORD>(STILL_ACTIVE));
}
}  // namespace
