// The name index at 1,000,000 and 10,000,000 generated entries: build rate, memory per entry,
// each query of a fixed set with the planner's choice and with each plan forced, and the cost
// of the changes the watchers apply. One table per size, the same rows every run.
//   bench_index_bench [entries...]             sizes to run (default 1000000 10000000)
//   bench_index_bench --paths FILE [entries]   writes the generated paths (UTF-8, one a line)
//                                              for bench/plocate_compare.sh, and stops
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/TextUtils.h"

namespace {
using Clock = std::chrono::steady_clock;
using Plan = FileIndex::SearchPlan;
double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

constexpr std::size_t kCap = 10000;
constexpr int kRepeats = 3;  // the best of these is shown: the machine is shared
constexpr std::size_t kChanges = 100000;
constexpr std::size_t kPathBatch = 256;

const char* const kWords[] = {"report", "Invoice", "photo", "Backup", "project", "notes", "Summary", "draft",
                              "budget", "Meeting", "design", "archive", "setup", "Readme", "config", "data",
                              "\xe6\x96\x87\xe6\xa1\xa3", "caf\xc3\xa9", "Holiday", "source"};
const char* const kExts[] = {".txt", ".docx", ".jpg", ".pdf", ".cpp", ".h", ".xlsx", ".png", ".zip", ".mp3"};

struct Query {
  const char16_t* text;
  const char* kind;
};
const Query kQueries[] = {
    {u"report", "broad"},          {u".docx", "broad"},         {u"*.txt", "broad"},
    {u"\u6587\u6863", "broad"},    {u"_12345", "selective"},    {u"budget_2718", "selective"},
    {u"\u6587\u6863 caf\u00e9_777", "selective"},              {u"xyz", "no hit"},
    {u"zzz", "no hit"},            {u"INVOICE", "other"},       {u"summary_4", "other"},
    {u"notes draft", "other"},     {u"report*", "other"},       {u"*_9999?.pdf", "other"},
    {u"b?dget*", "other"},         {u"*meeting*.xlsx", "other"}, {u"*.none", "other"},
    {u"r*t *_1*.h", "other"},      {u"??????", "other"},        {u"*\u6587*.zip", "other"},
    {u"setup config*", "other"},
};

class Generator {
 public:
  std::u16string Name(bool folder) {
    std::u16string name = Word() + u" " + Word() + u"_" + Utf8ToUtf16(std::to_string(rng_() % 100000));
    if (!folder) name += Utf8ToUtf16(kExts[rng_() % std::size(kExts)]);
    return name;
  }
  std::uint32_t Next() { return rng_(); }

 private:
  std::u16string Word() { return Utf8ToUtf16(kWords[rng_() % std::size(kWords)]); }
  std::mt19937 rng_{12345};
};

struct Built {
  FileIndex index;
  std::vector<FileIndex::EntryId> folders;
  double ms = 0;
};

void Build(Built& b, Generator& gen, std::size_t total) {
  const auto t0 = Clock::now();
  b.folders.push_back(b.index.AddRoot(u"C:\\"));
  while (b.index.Count() < total) {
    const FileIndex::EntryId parent = b.folders[gen.Next() % b.folders.size()];
    const bool folder = gen.Next() % 12 == 0;
    const FileIndex::EntryId id = b.index.Add(parent, gen.Name(folder), folder);
    if (folder) b.folders.push_back(id);
  }
  b.index.ShrinkToFit();
  b.ms = MsSince(t0);
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

struct Timed {
  double searchMs = 1e300, answerMs = 1e300;
  std::size_t items = 0;
};

Timed Run(const FileIndex& index, const NameQuery& query, Plan plan, bool withPaths) {
  Timed t;
  const std::vector<FileIndex::EntryId> scope = index.Roots();
  for (int r = 0; r < kRepeats; ++r) {
    const auto t0 = Clock::now();
    const std::vector<FileIndex::EntryId> ids = index.Search(query, scope, kCap, nullptr, plan);
    t.searchMs = std::min(t.searchMs, MsSince(t0));
    if (withPaths) {
      // In batches, as the service builds them.
      for (std::size_t at = 0; at < ids.size(); at += kPathBatch) {
        const std::size_t n = std::min(kPathBatch, ids.size() - at);
        const std::vector<std::u16string> paths = index.PathsOf(std::span(ids).subspan(at, n));
      }
      t.answerMs = std::min(t.answerMs, MsSince(t0));
    }
    t.items = ids.size();
  }
  return t;
}

void QueryTable(const FileIndex& index) {
  std::printf("%-18s %-9s %6s %10s %10s | %9s %11s\n", "query", "kind", "items", "search ms", "answer ms",
              "scan ms", "postings ms");
  double worst[3] = {0, 0, 0};  // broad, selective and no hit
  for (const Query& q : kQueries) {
    const NameQuery query(q.text);
    const Timed chosen = Run(index, query, Plan::kAuto, true);
    const Timed scan = Run(index, query, Plan::kScan, false);
    const Timed postings = Run(index, query, Plan::kPostings, false);
    std::printf("%-*s %-9s %6zu %10.3f %10.3f | %9.3f %11.3f\n",
                static_cast<int>(18 + Utf16ToUtf8(q.text).size() - std::u16string_view(q.text).size()),
                Utf16ToUtf8(q.text).c_str(), q.kind, chosen.items, chosen.searchMs, chosen.answerMs, scan.searchMs,
                postings.searchMs);
    const int kind = std::strcmp(q.kind, "broad") == 0 ? 0 : std::strcmp(q.kind, "selective") == 0 ? 1 : 2;
    if (std::strcmp(q.kind, "other") != 0) worst[kind] = std::max(worst[kind], chosen.answerMs);
  }
  std::printf("slowest whole answer: broad %.3f ms, selective %.3f ms, no hit %.3f ms\n", worst[0], worst[1],
              worst[2]);
}

// Whether both plans give the same answer to every query, uncapped.
bool PlansAgree(const FileIndex& index) {
  const std::vector<FileIndex::EntryId> scope = index.Roots();
  for (const Query& q : kQueries) {
    const NameQuery query(q.text);
    if (index.Search(query, scope, static_cast<std::size_t>(-1), nullptr, Plan::kScan) !=
        index.Search(query, scope, static_cast<std::size_t>(-1), nullptr, Plan::kPostings))
      return false;
  }
  return true;
}

// Adds, renames and deletes of files, as the watchers apply them, each kind timed apart.
void Changes(Built& b, Generator& gen) {
  FileIndex& index = b.index;
  std::vector<FileIndex::EntryId> added;
  auto t0 = Clock::now();
  for (std::size_t i = 0; i < kChanges; ++i) {
    const FileIndex::EntryId parent = b.folders[gen.Next() % b.folders.size()];
    added.push_back(index.Add(parent, gen.Name(false), false));
  }
  const double addUs = MsSince(t0) * 1000 / kChanges;
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i < kChanges; ++i) names.push_back(gen.Name(false));
  t0 = Clock::now();
  for (std::size_t i = 0; i < kChanges; ++i) index.Move(added[i], index.Parent(added[i]), names[i]);
  const double renameUs = MsSince(t0) * 1000 / kChanges;
  // Files anywhere in the index, not only the new ones.
  std::vector<FileIndex::EntryId> victims;
  while (victims.size() < kChanges) {
    const FileIndex::EntryId id = gen.Next() % (index.Count() + 1);
    if (index.IsLive(id) && !index.IsFolder(id)) victims.push_back(id);
  }
  t0 = Clock::now();
  for (FileIndex::EntryId id : victims) index.Remove(id);
  const double deleteUs = MsSince(t0) * 1000 / kChanges;
  std::printf("changes (%zu of each): add %.2f us, rename %.2f us, delete %.2f us on average\n", kChanges, addUs,
              renameUs, deleteUs);
  // Early folders hold the biggest subtrees: a part of the index, then most of it.
  for (std::size_t f : {std::size_t{100}, std::size_t{1}}) {
    const std::size_t before = index.Count();
    t0 = Clock::now();
    index.Remove(b.folders[f]);
    const double folderMs = MsSince(t0);
    const std::size_t removed = before - index.Count();
    std::printf("folder delete: %zu of %zu entries in %.1f ms, %.2f us an entry\n", removed, before, folderMs,
                folderMs * 1000 / std::max<std::size_t>(removed, 1));
  }
}

void RunSize(std::size_t entries) {
  std::printf("== %zu entries, cap %zu, best of %d\n", entries, kCap, kRepeats);
  const std::size_t rss0 = ResidentBytes();
  Generator gen;
  Built b;
  Build(b, gen, entries);
  const std::size_t rss = ResidentBytes() - rss0;
  const std::size_t n = b.index.Count();
  std::printf("indexed %zu entries in %.0f ms: %.0f entries/s\n", n, b.ms, n / (b.ms / 1000.0));
  std::printf("memory: %.1f bytes/entry held by the index, %.1f bytes/entry resident growth\n",
              double(b.index.MemoryBytes()) / n, double(rss) / n);
  QueryTable(b.index);
  Changes(b, gen);
  std::printf("after the changes, both plans give the same answers: %s\n", PlansAgree(b.index) ? "yes" : "NO");
}

int WritePaths(const char* file, std::size_t entries) {
  Generator gen;
  Built b;
  Build(b, gen, entries);
  std::ofstream out(file, std::ios::binary);
  std::vector<FileIndex::EntryId> ids;
  for (FileIndex::EntryId id = 0; ids.size() < b.index.Count(); ++id)
    if (b.index.IsLive(id) && b.index.Parent(id) != FileIndex::kNone) ids.push_back(id);
  for (const std::u16string& path : b.index.PathsOf(ids)) out << Utf16ToUtf8(path) << '\n';
  return out ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--paths") == 0)
    return WritePaths(argv[2], argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 1000000);
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1000000, 10000000};
  for (std::size_t n : sizes) RunSize(n);
}
