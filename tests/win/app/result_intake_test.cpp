// The service's answers arriving on "SearchResultPipe": answer start, items (duplicates and
// vanished paths dropped, the matched text worked out), answer end, update announcements; an
// answer of thousands of items from the service's own sender, written ahead of its replies.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "RequestRecorder.h"
#include "TempTree.h"
#include "TestProcess.h"
#include "app/HookThread.h"
#include "core/SearchMessages.h"
#include "service/ResultSender.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"

using testing_support::RequestRecorder;
using testing_support::WaitUntil;

namespace {

struct Delivered {
  PWindowRec rec;
  std::u16string fileName, wildcard, match;
};

class ResultIntake : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kBox = 0x20030;

  void SetUp() override {
    MainThread::Init();
    fileView_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    rec_ = new TWindowRec;
    rec_->MainForm = kBox;
    rec_->FileHandle = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(fileView_));
    thread_.WindowList().AddItem(WindowKey(kBox), rec_);
    thread_.OnAddSearchResult = [this](THookThread* sender, PWindowRec rec, const std::u16string& fileName,
                                       const std::u16string& wildcard, const std::u16string& match) {
      EXPECT_EQ(sender, &thread_);
      EXPECT_TRUE(MainThread::IsCurrent());
      delivered_.push_back({rec, fileName, wildcard, match});
    };
    thread_.Start();
    file_ = temp_.Path(L"ruvo report.txt");
    temp_.File(L"ruvo report.txt");
  }
  void TearDown() override {
    thread_.Terminate();
    thread_.WaitFor();
    ::DestroyWindow(fileView_);
  }

  // Sends the messages on one connection, as the service does, serving the main thread.
  void Send(const std::vector<IMessageData>& messages) {
    std::thread sender([&] {
      TIPCClient client;
      client.SetServerName(kSearchResultPipe);
      client.ConnectClient(3000);
      ASSERT_TRUE(client.IsConnected());
      for (const auto& m : messages) {
        client.ExecuteConnectedRequest(m);
        EXPECT_TRUE(client.AnswerValid());
      }
      client.DisconnectClient();
      done_ = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done_.load(); }, 10000));
    sender.join();
    done_ = false;
  }

  std::u16string File() const { return U(file_); }

  RequestRecorder service_;
  THookThread thread_{nullptr};
  HWND fileView_ = nullptr;
  PWindowRec rec_ = nullptr;
  const testing_support::TempTree temp_{L"ruvo-intake"};
  std::wstring file_;
  std::vector<Delivered> delivered_;
  std::atomic<bool> done_{false};
};

TEST_F(ResultIntake, ItemsOfOneAnswerAreDeliveredOnceAndEndsPassOn) {
  std::u16string upper = File();
  for (auto& c : upper) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  Send({BuildAnswerBegin(kBox), BuildFoundItem(File(), u"*rep*.txt", kBox),
        BuildFoundItem(upper, u"*rep*.txt", kBox),                   // same path, other case
        BuildFoundItem(File() + u".gone", u"*rep*.txt", kBox),       // no longer exists
        BuildFoundItem(File(), u"*rep*.txt", 0x999),                 // no such search box
        BuildAnswerEnd(kBox)});
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0].rec, rec_);
  EXPECT_EQ(delivered_[0].fileName, File());
  EXPECT_EQ(delivered_[0].wildcard, u"*rep*.txt");
  EXPECT_EQ(delivered_[0].match, u"ruvo report.txt");  // the name with the typed case of the query
  EXPECT_TRUE(delivered_[1].fileName.empty());
  EXPECT_TRUE(delivered_[1].match.empty());

  // A new answer accepts the path again; Action 257 acts as 1.
  rec_->ResultDirIndex = 5;
  auto begin257 = NewMessageData();
  begin257->Data().WriteCardinal(kFieldAction, 257);
  begin257->Data().WriteCardinal(kFieldSearchBox, kBox);
  Send({begin257, BuildFoundItem(File(), u"report", kBox)});
  ASSERT_EQ(delivered_.size(), 3u);
  EXPECT_EQ(delivered_[2].match, u"report");  // a query without wildcards is its own match
  EXPECT_EQ(rec_->ResultDirIndex, -1);
}

// The service keeps a window of items in flight: every one of thousands still reaches the
// list's handler once, in the order sent, with the end after the last.
TEST_F(ResultIntake, APipelinedAnswerOfThousandsOfItemsArrivesWholeAndInOrder) {
  constexpr int kItems = 3000;
  std::vector<std::u16string> paths;
  for (int i = 0; i < kItems; ++i) {
    const std::wstring name = L"item " + std::to_wstring(i) + L".txt";
    temp_.File(name);
    paths.push_back(U(temp_.Path(name)));
  }
  ResultSender sender(::GetCurrentProcessId());
  std::atomic<bool> sent{false};
  std::thread service([&] {
    bool ok = sender.Connect(3000) && sender.Send(BuildAnswerBegin(kBox));
    // In runs of 100, as the service's look-ups find them: gathered into writes within a run.
    for (std::size_t i = 0; i < paths.size(); ++i)
      ok = ok && sender.Post(BuildFoundItem(paths[i], u"item", kBox), (i + 1) % 100 != 0);
    ok = ok && sender.Send(BuildAnswerEnd(kBox));
    sender.SendEndMarker();
    sent = ok;
    done_ = true;
  });
  const bool finished = WaitUntil([&] { return done_.load(); }, 60000);
  if (!finished) sender.Abort();  // the thread ends, and the test with it
  WaitUntil([&] { return done_.load(); }, 10000);
  service.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(sent);
  ASSERT_EQ(delivered_.size(), paths.size() + 1);
  std::size_t inOrder = 0;
  while (inOrder < paths.size() && delivered_[inOrder].fileName == paths[inOrder]) ++inOrder;
  EXPECT_EQ(inOrder, paths.size()) << "the first item out of order";
  EXPECT_TRUE(delivered_.back().fileName.empty());
}

// Items are held back only while more follow at once: one with none to follow reaches the
// list while the service still holds the connection, with those held before it.
TEST_F(ResultIntake, AnItemWithNoneToFollowAtOnceIsNotHeldBack) {
  ResultSender sender(::GetCurrentProcessId());
  std::atomic<int> step{0};
  std::thread service([&] {
    if (sender.Connect(3000) && sender.Send(BuildAnswerBegin(kBox)) && sender.Post(BuildFoundItem(File(), u"ruvo", kBox))) {
      step = 1;
      WaitUntil([&] { return step.load() == 2; }, 10000);
      const std::u16string other = U(temp_.Path(L"ruvo other.txt"));
      if (sender.Post(BuildFoundItem(other, u"ruvo", kBox), true) && sender.Post(BuildFoundItem(File(), u"ruvo", kBox)))
        step = 3;
      WaitUntil([&] { return step.load() == 4; }, 10000);
    }
    sender.SendEndMarker();
    done_ = true;
  });
  temp_.File(L"ruvo other.txt");
  EXPECT_TRUE(WaitUntil([&] { return step.load() == 1 && delivered_.size() == 1; }, 5000));
  step = 2;
  // The second answer item (another path) and a repeat of the first, dropped as a duplicate.
  EXPECT_TRUE(WaitUntil([&] { return step.load() == 3 && delivered_.size() == 2; }, 5000));
  step = 4;
  WaitUntil([&] { return done_.load(); }, 10000);
  service.join();
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0].fileName, File());
  EXPECT_EQ(delivered_[1].fileName, U(temp_.Path(L"ruvo other.txt")));
}

TEST_F(ResultIntake, FieldOrderExtraFieldsAndOtherActions) {
  auto reordered = NewMessageData();
  reordered->Data().WriteCardinal(kFieldSearchBox, kBox);
  reordered->Data().WriteString(u"Extra", u"ignored");
  reordered->Data().WriteString(kFieldWildcard, u"ruvo");
  reordered->Data().WriteString(kFieldFileName, File());
  reordered->Data().WriteCardinal(kFieldAction, 2);
  std::vector<IMessageData> others;
  for (std::uint32_t action : {0u, 5u, 6u, 255u}) {
    auto m = NewMessageData();
    m->Data().WriteCardinal(kFieldAction, action);
    m->Data().WriteString(kFieldFileName, File());
    m->Data().WriteCardinal(kFieldSearchBox, kBox);
    others.push_back(m);
  }
  others.push_back(reordered);
  Send(others);
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0].fileName, File());
  EXPECT_EQ(delivered_[0].wildcard, u"ruvo");
}

TEST_F(ResultIntake, ItemsForAWindowThatIsGoneAreDropped) {
  ::DestroyWindow(fileView_);
  fileView_ = nullptr;
  Send({BuildAnswerBegin(kBox), BuildFoundItem(File(), u"ruvo", kBox), BuildAnswerEnd(kBox)});
  EXPECT_TRUE(delivered_.empty());
}

TEST_F(ResultIntake, UpdateAnnouncementIsStored) {
  Send({BuildUpdateAnnouncement(u"C:\\updates\\setup.exe", u"2.0")});
  const TUpdateInfoRec info = thread_.UpdateInfo();
  EXPECT_EQ(info.FileName, u"C:\\updates\\setup.exe");
  EXPECT_EQ(info.Version, u"2.0");
}

TEST(ResultIntakeShutdown, AHandOverPendingWhileTheProgramEndsCompletes) {
  MainThread::Init();
  RequestRecorder service;
  HWND fileView = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  auto thread = std::make_unique<THookThread>(nullptr);
  auto* rec = new TWindowRec;
  rec->MainForm = 0x30040;
  rec->FileHandle = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(fileView));
  thread->WindowList().AddItem(WindowKey(rec->MainForm), rec);
  int delivered = 0;
  thread->OnAddSearchResult = [&](THookThread*, PWindowRec, const std::u16string&, const std::u16string&,
                                  const std::u16string&) { ++delivered; };
  thread->Start();
  ASSERT_TRUE(WaitUntil([] { return ::WaitNamedPipeW(L"\\\\.\\pipe\\SearchResultPipe", 1) != FALSE; }, 10000));
  // The end of an answer arrives while the main thread is busy: the worker waits for it.
  std::thread sender([] {
    TIPCClient client;
    client.SetServerName(kSearchResultPipe);
    client.ExecuteRequest(BuildAnswerEnd(0x30040), 3000);
  });
  ::Sleep(500);
  const DWORD start = ::GetTickCount();
  thread->Terminate();
  thread->WaitFor();  // serves the pending hand-over
  thread.reset();
  EXPECT_LT(::GetTickCount() - start, 10000u);
  sender.join();
  EXPECT_EQ(delivered, 1);
  ::DestroyWindow(fileView);
}

}  // namespace
