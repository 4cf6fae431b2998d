// RuvoService.exe in console mode on a 100,000-entry folder tree: how long the initial index
// takes, the service's memory once indexed, and for typical queries the time from sending the
// request to the first found item and to the end of the answer, as the program sees them; and
// the answer time of the costliest patterns at the length cap; items per second delivered
// to a result pipe beside the transport's round trips per second.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "core/SearchMessages.h"
#include "core/TextUtils.h"
#include "core/Wildcard.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "RoundTrips.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTreeEntries = 100000;
constexpr int kRepeats = 5;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Names that look like a user's files: words, years, numbers and common extensions.
class NameMaker {
 public:
  std::wstring Folder() { return Pick(kFolderWords) + L" " + std::to_wstring(2010 + Next() % 15); }
  std::wstring File() {
    std::wstring name = Pick(kFileWords);
    switch (Next() % 4) {
      case 0: name += L"-" + std::to_wstring(2010 + Next() % 15); break;
      case 1: name += L"_" + std::to_wstring(Next() % 10000); break;
      case 2: name += L" " + Pick(kFileWords); break;
      default: name += L" (" + std::to_wstring(1 + Next() % 9) + L")"; break;
    }
    return name + Pick(kExtensions);
  }

 private:
  template <std::size_t N>
  std::wstring Pick(const std::array<const wchar_t*, N>& words) { return words[Next() % N]; }
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

  static constexpr std::array<const wchar_t*, 16> kFolderWords = {
      L"Documents", L"Projects", L"Photos", L"Music", L"Invoices", L"Reports", L"Archive", L"Clients",
      L"Source", L"Backup", L"Downloads", L"Travel", L"Taxes", L"Letters", L"Drafts", L"Videos"};
  static constexpr std::array<const wchar_t*, 24> kFileWords = {
      L"report", L"invoice", L"IMG", L"DSC", L"budget", L"meeting notes", L"summary", L"contract",
      L"song", L"holiday", L"presentation", L"draft", L"letter", L"scan", L"backup", L"readme",
      L"main", L"config", L"photo", L"minutes", L"plan", L"quote", L"statement", L"thesis"};
  static constexpr std::array<const wchar_t*, 12> kExtensions = {
      L".txt", L".docx", L".pdf", L".jpg", L".png", L".mp3", L".xlsx", L".cpp", L".h", L".zip", L".pptx", L".csv"};
  std::uint32_t state_ = 12345;
};

bool MakeEmptyFile(const std::wstring& path) {
  UniqueFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return static_cast<bool>(h);
}

// 20 top folders of 10 folders of 25 folders each, the files spread over the deepest ones;
// a marker beside the tree says it is complete, so later runs reuse it.
bool EnsureTree(const std::wstring& tree) {
  const std::wstring marker = tree + L".complete";
  if (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  ::CreateDirectoryW(tree.c_str(), nullptr);
  NameMaker names;
  std::vector<std::wstring> leaves;
  int entries = 0;
  for (int a = 0; a < 20; ++a) {
    const std::wstring top = tree + L"\\" + names.Folder() + L" " + std::to_wstring(a);
    ::CreateDirectoryW(top.c_str(), nullptr);
    ++entries;
    for (int b = 0; b < 10; ++b) {
      const std::wstring mid = top + L"\\" + names.Folder() + L" " + std::to_wstring(b);
      ::CreateDirectoryW(mid.c_str(), nullptr);
      ++entries;
      for (int c = 0; c < 25; ++c) {
        leaves.push_back(mid + L"\\" + names.Folder() + L" " + std::to_wstring(c));
        ::CreateDirectoryW(leaves.back().c_str(), nullptr);
        ++entries;
      }
    }
  }
  // Unique file names: a running number keeps two draws of the same name apart.
  for (int i = 0; entries < kTreeEntries; ++i, ++entries) {
    std::wstring name = names.File();
    name.insert(name.find_last_of(L'.'), L" " + std::to_wstring(i));
    if (!MakeEmptyFile(leaves[static_cast<std::size_t>(i) % leaves.size()] + L"\\" + name)) return false;
  }
  return MakeEmptyFile(marker);
}

// Debugger output of other processes (the DBWIN protocol): the service reports "indexed" there.
class DebugOutputListener {
 public:
  DebugOutputListener()
      : bufferReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
        dataReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
        mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize, L"DBWIN_BUFFER")) {
    if (mapping_) view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, kSize));
    if (view_ && bufferReady_) ::SetEvent(bufferReady_.get());
  }
  ~DebugOutputListener() {
    if (view_) ::UnmapViewOfFile(view_);
  }
  DebugOutputListener(const DebugOutputListener&) = delete;
  DebugOutputListener& operator=(const DebugOutputListener&) = delete;

  // Waits up to ms for a line of process pid that contains text.
  bool WaitFor(DWORD pid, const char* text, DWORD ms) {
    if (!view_ || !dataReady_) return false;
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
      const ULONGLONG now = ::GetTickCount64();
      if (now >= end) return false;
      if (::WaitForSingleObject(dataReady_.get(), static_cast<DWORD>(end - now)) != WAIT_OBJECT_0) return false;
      DWORD from = 0;
      std::memcpy(&from, view_, sizeof(from));
      const std::string line(view_ + sizeof(DWORD), strnlen(view_ + sizeof(DWORD), kSize - sizeof(DWORD)));
      ::SetEvent(bufferReady_.get());
      if (from == pid && line.find(text) != std::string::npos) return true;
    }
  }

 private:
  static constexpr DWORD kSize = 4096;
  UniqueKernelHandle bufferReady_;
  UniqueKernelHandle dataReady_;
  UniqueKernelHandle mapping_;
  const char* view_ = nullptr;
};

// Our "SearchResultPipe": the arrival times of each box's first item and end.
class ResultTimer {
 public:
  struct Answer {
    std::optional<Clock::time_point> firstItem, end;
    std::size_t items = 0;
  };
  ResultTimer() {
    server_.SetServerName(kSearchResultPipe);
    server_.OnExecuteRequest = [this](const ICommContext&, const IMessageData& req, const IMessageData&) {
      const auto now = Clock::now();
      const TSearchMessage m = DecodeSearchMessage(req->Data());
      std::lock_guard lock(lock_);
      Answer& a = answers_[m.SearchBox];
      if (m.Action == kActionFoundItem) {
        if (!a.firstItem) a.firstItem = now;
        ++a.items;
      } else if (m.Action == kActionAnswerEnd) {
        a.end = now;
        changed_.notify_all();
      }
    };
    server_.Start();
  }
  ~ResultTimer() { server_.Stop(); }
  std::optional<Answer> WaitEnd(std::uint32_t box, std::chrono::milliseconds limit) {
    std::unique_lock lock(lock_);
    if (!changed_.wait_for(lock, limit, [&] { return answers_[box].end.has_value(); })) return std::nullopt;
    return answers_[box];
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<std::uint32_t, Answer> answers_;
  TIPCServer server_;  // last: its threads end before the state they use
};

bool SendRequest(const IMessageData& msg) {
  TIPCClient client;
  client.SetServerName(kSearchRequestPipe);
  const IMessageData reply = client.ExecuteRequest(msg, 2000);
  return reply && client.AnswerValid();
}

// kRepeats answers to one query, each timed from its request: the item count and the times
// to the first item (when there was one) and to the end. Empty when a request or answer failed.
struct QueryTimes {
  std::size_t items = 0;
  std::vector<double> first, end;
};
std::optional<QueryTimes> TimeQuery(ResultTimer& results, const std::wstring& tree, const std::u16string& query,
                                    std::uint32_t& box) {
  QueryTimes times;
  for (int r = 0; r < kRepeats; ++r, ++box) {
    const auto sent = Clock::now();
    if (!SendRequest(BuildSearchRequest(U(tree), query, box))) {
      std::printf("request failed\n");
      return std::nullopt;
    }
    const auto answer = results.WaitEnd(box, std::chrono::seconds(60));
    if (!answer) {
      std::printf("no answer for %s within 60 s\n", Utf16ToUtf8(query.substr(0, 40)).c_str());
      return std::nullopt;
    }
    times.items = answer->items;
    if (answer->firstItem) times.first.push_back(Ms(*answer->firstItem - sent));
    times.end.push_back(Ms(*answer->end - sent));
  }
  return times;
}

}  // namespace

int main() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring tree = std::wstring(temp) + L"ruvo-bench-100k";
  const auto genStart = Clock::now();
  const bool reused = ::GetFileAttributesW((tree + L".complete").c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!EnsureTree(tree)) {
    std::printf("cannot generate the tree under %s\n", Utf16ToUtf8(U(tree)).c_str());
    return 1;
  }
  std::printf("tree: %d entries, %s in %.0f ms\n", kTreeEntries, reused ? "reused" : "generated",
              Ms(Clock::now() - genStart));

  DebugOutputListener debugOutput;
  ResultTimer results;
  const auto start = Clock::now();
  testing_support::ChildProcess service(ExeDirectory() + L"RuvoService.exe", L"/console /root \"" + tree + L"\"");
  if (!service.Valid()) {
    std::printf("cannot start RuvoService.exe\n");
    return 1;
  }
  if (!debugOutput.WaitFor(service.Pid(), "RuvoService: indexed", 300000)) {
    std::printf("the service did not report its index within 300 s\n");
    return 1;
  }
  std::printf("initial index: %.0f ms from process start\n", Ms(Clock::now() - start));
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(service.Handle(), &memory, sizeof(memory)))
    std::printf("service working set: %.1f MiB (peak %.1f MiB), private bytes %.1f MiB\n",
                memory.WorkingSetSize / 1048576.0, memory.PeakWorkingSetSize / 1048576.0,
                memory.PagefileUsage / 1048576.0);
  else
    std::printf("service working set: not available (error %lu)\n", ::GetLastError());

  const std::u16string queries[] = {u"report", u"invoice", u"2019", u"meeting", u"thesis 7",
                                    u"*.pdf",  u"IMG_1*.jpg", u"budget*", u"*notes*.txt", u"song-20??*.mp3"};
  std::uint32_t box = 1;
  std::vector<double> firstMedians, endMedians;
  std::printf("%-14s %7s %12s %12s\n", "query", "items", "first ms", "end ms");
  for (const auto& q : queries) {
    const auto times = TimeQuery(results, tree, q, box);
    if (!times) return 1;
    const auto& [items, first, end] = *times;
    const double f = Median(first), e = Median(end);
    if (!first.empty()) firstMedians.push_back(f);
    endMedians.push_back(e);
    if (first.empty())
      std::printf("%-14s %7zu %12s %12.2f\n", Utf16ToUtf8(q).c_str(), items, "-", e);
    else
      std::printf("%-14s %7zu %12.2f %12.2f\n", Utf16ToUtf8(q).c_str(), items, f, e);
  }
  std::printf("median over queries (each the median of %d runs): first item %.2f ms, end %.2f ms\n", kRepeats,
              Median(firstMedians), Median(endMedians));

  // Delivery: answers that reach the cap, timed at our result pipe, beside the transport's
  // round trips measured now.
  const bench_support::RoundTrips raw = bench_support::RawRoundTripsPerSecond(true);
  const auto delivery = TimeQuery(results, tree, u"*", box);
  if (!delivery) return 1;
  const std::size_t delivered = delivery->items;
  const double d = Median(delivery->end);
  std::printf("delivery of \"*\" (%zu items, median of %d): %.0f ms, %.0f items/s (goal: 10,000 items in under "
              "1,000 ms)\nraw pipe round trips: %.0f/s with the transport's client, %.0f/s blocking\n",
              delivered, kRepeats, d, delivered * 1000.0 / d, raw.client, raw.blocking);

  // The costliest patterns a client may send: at the length cap, and one past it. Few of
  // them match, so the time is the matching's, not the delivery's.
  std::u16string starR, starQ;
  for (std::size_t i = 0; i < kMaxWildcardChars / 2; ++i) {
    starR += u"*r";
    starQ += u"*?";
  }
  const std::pair<const char*, std::u16string> costly[] = {
      {"1,023 stars then \"~\"", std::u16string(kMaxWildcardChars - 1, u'*') + u"~"},
      {"\"*r\" x 512", starR},
      {"\"*?\" x 512", starQ},
      {"1,025 stars (refused)", std::u16string(kMaxWildcardChars + 1, u'*')},
  };
  double longest = 0;
  std::printf("%-24s %7s %12s\n", "pattern at the cap", "items", "end ms");
  for (const auto& [label, q] : costly) {
    const auto times = TimeQuery(results, tree, q, box);
    if (!times) return 1;
    const auto& [items, first, end] = *times;
    longest = std::max(longest, *std::max_element(end.begin(), end.end()));
    std::printf("%-24s %7zu %12.2f\n", label, items, Median(end));
  }
  std::printf("longest answer of a pattern at the cap: %.2f ms\n", longest);
  return 0;
}
