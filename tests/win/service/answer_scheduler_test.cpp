// The answer scheduler in this process, answering to our own "SearchResultPipe": an answer is
// walked as the client whose token it carries, and a token the scheduler cannot take on is
// never replaced by the service's own rights; what a flood of requests can make it hold is
// bounded.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "core/SearchMessages.h"
#include "core/Wildcard.h"
#include "service/AnswerScheduler.h"
#include "service/IndexStore.h"
#include "service/ResultSender.h"
#include "service/ServiceThread.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCServer.h"
#include "ServiceTestSupport.h"
#include "TempTree.h"
#include "TestWait.h"

namespace {
using service_testing::Received;
using service_testing::ResultRecorder;
using namespace std::chrono_literals;


std::size_t ItemCount(const std::vector<Received>& answer) {
  return static_cast<std::size_t>(
      std::count_if(answer.begin(), answer.end(), [](const Received& r) { return r.action == kActionFoundItem; }));
}

// This process's token as an impersonation token, opened with the given access.
std::shared_ptr<UniqueKernelHandle> OwnImpersonationToken(DWORD access) {
  UniqueKernelHandle primary;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, primary.put())) return nullptr;
  UniqueKernelHandle full;
  if (!::DuplicateTokenEx(primary.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                          full.put()))
    return nullptr;
  auto token = std::make_shared<UniqueKernelHandle>();
  if (!::DuplicateHandle(::GetCurrentProcess(), full.get(), ::GetCurrentProcess(), token->put(), access, FALSE, 0))
    return nullptr;
  return token;
}

class AnswerSchedulerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    temp_ = new testing_support::TempTree(L"ruvo-answers");
    tree_ = temp_->Root();
    for (int i = 0; i < 5; ++i) temp_->File(L"visible" + std::to_wstring(i) + L".txt");
  }
  static void TearDownTestSuite() {
    delete temp_;
    temp_ = nullptr;
  }
  SearchRequest Request(std::uint32_t box, std::shared_ptr<UniqueKernelHandle> token) {
    return SearchRequest{tree_, u"visible", box, ::GetCurrentProcessId(), std::move(token)};
  }
  static testing_support::TempTree* temp_;
  static std::wstring tree_;
};
testing_support::TempTree* AnswerSchedulerTest::temp_ = nullptr;
std::wstring AnswerSchedulerTest::tree_;

TEST_F(AnswerSchedulerTest, ATokenThatCannotBeTakenOnYieldsNothing) {
  ResultRecorder results;
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);

  const auto usable = OwnImpersonationToken(TOKEN_QUERY | TOKEN_IMPERSONATE);
  const auto queryOnly = OwnImpersonationToken(TOKEN_QUERY);
  ASSERT_TRUE(usable && queryOnly);
  // A walk (nothing indexed yet) as the client, as the service itself, and with a token that
  // cannot be set on a thread: the last must not fall back to the service's rights.
  scheduler.Search(Request(1, usable));
  scheduler.Search(Request(2, nullptr));
  scheduler.Search(Request(3, queryOnly));
  EXPECT_EQ(ItemCount(results.Answer(1)), 5u);
  EXPECT_EQ(ItemCount(results.Answer(2)), 5u);
  const auto refused = results.Answer(3);
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused.front().action, kActionAnswerBegin);
  EXPECT_EQ(refused.back().action, kActionAnswerEnd);

  // The same from the index.
  store.Start();
  testing_support::WaitUntil([&] { return store.AllIndexed(); }, 10000);
  ASSERT_TRUE(store.AllIndexed());
  scheduler.Search(Request(4, usable));
  scheduler.Search(Request(5, queryOnly));
  EXPECT_EQ(ItemCount(results.Answer(4)), 5u);
  EXPECT_EQ(results.Answer(5).size(), 2u);
  scheduler.Shutdown();
}
// Whether the scheduler's answers all ended within 20 s.
bool AllEnded(AnswerScheduler& scheduler) {
  return testing_support::WaitUntil([&] { return scheduler.Running() == 0; }, 20000);
}

TEST_F(AnswerSchedulerTest, TheCapHoldsForAWalkedFolderAsForTheIndex) {
  ResultRecorder results;
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 3);
  // All five hits lie in one folder: nothing may go out after the third.
  auto expectCapped = [&](std::uint32_t box, const char* how) {
    scheduler.Search(Request(box, nullptr));
    const auto answer = results.Answer(box);
    EXPECT_EQ(ItemCount(answer), 3u) << how;
    ASSERT_FALSE(answer.empty()) << how;
    EXPECT_EQ(answer.back().action, kActionAnswerEnd) << how;
  };
  expectCapped(1, "walked");
  store.Start();
  testing_support::WaitUntil([&] { return store.AllIndexed(); }, 10000);
  ASSERT_TRUE(store.AllIndexed());
  expectCapped(2, "from the index");
  scheduler.Shutdown();
}

TEST_F(AnswerSchedulerTest, ABoxKeepsNoStateOnceItsAnswersEnd) {
  ResultRecorder results;
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);
  // Every request for a box number never seen before, as a peer inventing numbers sends them.
  for (std::uint32_t box = 100; box < 140; ++box) {
    scheduler.Search(Request(box, nullptr));
    ASSERT_EQ(ItemCount(results.Answer(box)), 5u) << box;
  }
  scheduler.Cancel(::GetCurrentProcessId(), 100);  // answered already
  scheduler.Cancel(::GetCurrentProcessId(), 999);  // never seen
  ASSERT_TRUE(AllEnded(scheduler));
  EXPECT_EQ(scheduler.BoxCount(), 0u);
}

TEST_F(AnswerSchedulerTest, RequestsBeyondTheRunningLimitAreDropped) {
  ResultRecorder results(/*stall=*/true);
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);
  constexpr std::uint32_t kFirst = 200;
  constexpr std::uint32_t kExtra = 8;
  const std::uint32_t end = kFirst + static_cast<std::uint32_t>(AnswerScheduler::kMaxRunning) + kExtra;
  for (std::uint32_t box = kFirst; box < end; ++box) scheduler.Search(Request(box, nullptr));
  scheduler.AnnounceUpdate(::GetCurrentProcessId(), u"C:\\setup.exe", u"2.0");
  // The program stopped reading: every place is taken and the rest were turned away.
  EXPECT_EQ(scheduler.Running(), AnswerScheduler::kMaxRunning);
  EXPECT_EQ(scheduler.BoxCount(), AnswerScheduler::kMaxRunning);

  results.Release();
  ASSERT_TRUE(AllEnded(scheduler));
  EXPECT_EQ(scheduler.BoxCount(), 0u);
  for (std::uint32_t box = end - kExtra; box < end; ++box) EXPECT_TRUE(results.ForBox(box).empty()) << box;
  EXPECT_TRUE(results.Updates(0ms).empty());
  // Places come back once answers end.
  scheduler.Search(Request(end - 1, nullptr));
  EXPECT_EQ(ItemCount(results.Answer(end - 1)), 5u);
}
TEST_F(AnswerSchedulerTest, ACancelledAnswerStopsWithoutItsEnd) {
  ResultRecorder results(/*stall=*/true);
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);
  scheduler.Search(Request(400, nullptr));
  ASSERT_TRUE(results.WaitFor(400, kActionAnswerBegin, 10s));
  scheduler.Cancel(::GetCurrentProcessId(), 400);  // while the answer waits on its first message
  results.Release();
  ASSERT_TRUE(AllEnded(scheduler));
  const auto answer = results.ForBox(400);
  EXPECT_EQ(std::count_if(answer.begin(), answer.end(), [](const Received& r) { return r.action == kActionAnswerEnd; }), 0);
  EXPECT_EQ(ItemCount(answer), 0u);
}

TEST_F(AnswerSchedulerTest, AProgramThatStopsReadingIsLetGo) {
  ResultRecorder results(/*stall=*/true);
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100, /*messageTimeoutMs=*/300);
  scheduler.Search(Request(300, nullptr));
  ASSERT_TRUE(results.WaitFor(300, kActionAnswerBegin, 10s));
  // Still stalled: the watchdog ends the delivery, and the answer with it.
  EXPECT_TRUE(AllEnded(scheduler));
  EXPECT_EQ(results.ForBox(300).size(), 1u);
}

// A program that stops reading halfway through a long answer, with the sender's window of
// items written ahead: the watchdog still lets go of it, and nothing after the stall was taken.
TEST_F(AnswerSchedulerTest, AProgramThatStopsReadingMidAnswerIsLetGo) {
  testing_support::TempTree tree(L"ruvo-long");
  constexpr int kFiles = 400;
  for (int i = 0; i < kFiles; ++i) tree.File(L"long" + std::to_wstring(i) + L".txt");
  constexpr std::size_t kStallAt = 150;  // well past one window
  ResultRecorder results(/*stall=*/true, kStallAt);
  IndexStore store({tree.Root()});
  AnswerScheduler scheduler(store, 1000, /*messageTimeoutMs=*/300);
  scheduler.Search(SearchRequest{tree.Root(), u"long", 310, ::GetCurrentProcessId(), nullptr});
  ASSERT_TRUE(results.WaitEnds(310, kStallAt, 20s, kActionFoundItem));
  EXPECT_TRUE(AllEnded(scheduler));
  results.Release();
  // Whatever was written ahead and not yet read goes with the connection.
  ::Sleep(300);
  const auto answer = results.ForBox(310);
  EXPECT_LE(answer.size(), kStallAt + 1 + ResultSender::kWindow);
  EXPECT_LT(ItemCount(answer), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(std::count_if(answer.begin(), answer.end(), [](const Received& r) { return r.action == kActionAnswerEnd; }), 0);
}

// Box numbers are window handles any process can name: a request or a cancel from another
// process for the same number leaves this process's answer alone.
TEST_F(AnswerSchedulerTest, AnotherProcessNamingTheBoxStopsNothing) {
  ResultRecorder results(/*stall=*/true);
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);
  const DWORD self = ::GetCurrentProcessId();
  const DWORD other = self ^ 0x10000;  // no result pipe of its own: its answer goes nowhere
  scheduler.Search(Request(600, nullptr));
  ASSERT_TRUE(results.WaitFor(600, kActionAnswerBegin, 10s));
  scheduler.Search(SearchRequest{tree_, u"visible", 600, other, nullptr});
  scheduler.Cancel(other, 600);
  results.Release();
  ASSERT_TRUE(results.WaitFor(600, kActionAnswerEnd, 20s));
  EXPECT_EQ(ItemCount(results.ForBox(600)), 5u);
  ASSERT_TRUE(AllEnded(scheduler));
}

// A pattern longer than anyone types is answered with nothing; one at the cap is matched, and
// a pattern of a thousand stars costs what one star does.
TEST_F(AnswerSchedulerTest, APatternPastTheCapIsAnsweredWithNothing) {
  ResultRecorder results;
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100);
  store.Start();
  testing_support::WaitUntil([&] { return store.AllIndexed(); }, 10000);
  ASSERT_TRUE(store.AllIndexed());
  const std::u16string atCap = u"visible" + std::u16string(kMaxWildcardChars - 7, u'*');
  const std::u16string pastCap = atCap + u"*";
  const std::pair<std::u16string, std::size_t> cases[] = {{atCap, 5}, {pastCap, 0}, {u"*?*?*" + atCap.substr(5), 5}};
  std::uint32_t box = 700;
  for (const auto& [wildcard, items] : cases) {
    ++box;
    scheduler.Search(SearchRequest{tree_, wildcard, box, ::GetCurrentProcessId(), nullptr});
    const auto answer = results.Answer(box);
    ASSERT_GE(answer.size(), 2u) << wildcard.size();
    EXPECT_EQ(answer.front().action, kActionAnswerBegin);
    EXPECT_EQ(answer.back().action, kActionAnswerEnd);
    EXPECT_EQ(ItemCount(answer), items) << wildcard.size();
  }
}

// A hit under a folder the client may list, below one it may not, is not shown: its path
// would name the folder it may not list. Wine does not enforce folder rights (and the tests
// run as root), so the client's rights are a stand-in that refuses one folder.
TEST_F(AnswerSchedulerTest, NoHitNamesAFolderTheClientMayNotList) {
  testing_support::TempTree tree(L"ruvo-rights");
  for (const wchar_t* f : {L"Open", L"Secret", L"Secret\\Public", L"Secret\\Public\\Deeper"}) tree.Folder(f);
  for (const wchar_t* f : {L"Open\\hit1.txt", L"Secret\\hit2.txt", L"Secret\\Public\\hit3.txt",
                           L"Secret\\Public\\Deeper\\hit4.txt", L"hit5.txt"})
    tree.File(f);
  const std::wstring refused = tree.Path(L"Secret");
  ResultRecorder results;
  IndexStore store({tree.Root()});
  AnswerScheduler scheduler(store, 100, AnswerScheduler::kMessageTimeoutMs,
                            [&](const std::wstring& folder) { return _wcsicmp(folder.c_str(), refused.c_str()) != 0; });
  store.Start();
  testing_support::WaitUntil([&] { return store.AllIndexed(); }, 10000);
  ASSERT_TRUE(store.AllIndexed());
  scheduler.Search(SearchRequest{tree.Root(), u"hit", 950, ::GetCurrentProcessId(), nullptr});
  EXPECT_EQ(service_testing::Items(results.Answer(950)),
            (std::set<std::u16string>{U(tree.Path(L"Open\\hit1.txt")), U(tree.Path(L"hit5.txt"))}));
  // Searched from inside: the folders it names below the searched one are checked alike.
  scheduler.Search(SearchRequest{tree.Path(L"Secret\\Public"), u"hit", 951, ::GetCurrentProcessId(), nullptr});
  EXPECT_EQ(ItemCount(results.Answer(951)), 2u);
}

// Shut-down waits for every answer with a limit, and tells whether all of them ended.
TEST_F(AnswerSchedulerTest, ShutdownEndsAnswersStalledOnAProgram) {
  ResultRecorder results(/*stall=*/true);
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100, /*messageTimeoutMs=*/60000);
  for (std::uint32_t box = 800; box < 804; ++box) scheduler.Search(Request(box, nullptr));
  ASSERT_TRUE(results.WaitFor(803, kActionAnswerBegin, 10s));
  EXPECT_TRUE(scheduler.Shutdown(DeadlineIn(8000)));
  EXPECT_EQ(scheduler.Running(), 0u);
  results.Release();
}

TEST_F(AnswerSchedulerTest, ShutdownEndsAnAnswerWritingToAPipeThatNeverReads) {
  service_testing::DeafResultPipe deaf;
  ASSERT_TRUE(deaf.Valid());
  IndexStore store({tree_});
  AnswerScheduler scheduler(store, 100, /*messageTimeoutMs=*/60000);
  scheduler.Search(Request(900, nullptr));
  ASSERT_TRUE(deaf.WaitConnected(10000));
  ::Sleep(200);  // the first write is under way
  EXPECT_TRUE(scheduler.Shutdown(DeadlineIn(8000)));
  EXPECT_EQ(scheduler.Running(), 0u);
}

// A thread's body that throws (a failed allocation) ends that thread, not the process.
TEST(ServiceThread, AThrowingBodyEndsOnlyItsOwnThread) {
  std::atomic<bool> after{false};
  ServiceThread failing(L"a test", [] { throw std::bad_alloc(); });
  ServiceThread other(L"a test", [&] { after = true; });
  EXPECT_TRUE(failing.Join(DeadlineIn(10000)));
  EXPECT_TRUE(other.Join(DeadlineIn(10000)));
  EXPECT_TRUE(after);
  ServiceThread waiting(L"a test", [] { ::Sleep(300); });
  EXPECT_FALSE(waiting.Join(DeadlineIn(0)));
  EXPECT_TRUE(waiting.Join(DeadlineIn(10000)));
}

}  // namespace
