// Index build and query speed over 1,000,000 generated paths, beside a naive linear search
// over a plain vector of path strings.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/FileIndexText.h"
#include "core/TextFold.h"
#include "core/TextUtils.h"

namespace {
using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

const char* const kWords[] = {"report", "Invoice", "photo", "Backup", "project", "notes", "Summary", "draft",
                              "budget", "Meeting", "design", "archive", "setup", "Readme", "config", "data",
                              "\xe6\x96\x87\xe6\xa1\xa3", "caf\xc3\xa9", "Holiday", "source"};
const char* const kExts[] = {".txt", ".docx", ".jpg", ".pdf", ".cpp", ".h", ".xlsx", ".png", ".zip", ".mp3"};

struct Generated {
  std::vector<std::u16string> paths;  // the baseline's plain vector
  FileIndex index;
};

void Generate(Generated& g, std::size_t total, double& buildMs) {
  std::mt19937 rng(12345);
  auto word = [&] { return Utf8ToUtf16(kWords[rng() % std::size(kWords)]); };
  std::vector<std::pair<FileIndex::EntryId, std::u16string>> folders;
  const auto t0 = Clock::now();
  const FileIndex::EntryId root = g.index.AddRoot(u"C:\\");
  folders.push_back({root, u"C:"});
  g.paths.reserve(total);
  while (g.paths.size() < total) {
    const auto& [parent, parentPath] = folders[rng() % folders.size()];
    const bool folder = rng() % 12 == 0;
    std::u16string name = word() + u" " + word() + u"_" + Utf8ToUtf16(std::to_string(rng() % 100000));
    if (!folder) name += Utf8ToUtf16(kExts[rng() % std::size(kExts)]);
    const FileIndex::EntryId id = g.index.Add(parent, name, folder);
    std::u16string path = parentPath + u"\\" + name;
    if (folder) folders.push_back({id, path});
    g.paths.push_back(std::move(path));
  }
  g.index.ShrinkToFit();
  buildMs = MsSince(t0);
}

// The naive way: fold every path's name part and look for the query in it.
std::size_t NaiveSearch(const std::vector<std::u16string>& paths, const NameQuery& query, std::size_t cap,
                        std::vector<std::u16string>& out) {
  out.clear();
  const std::u16string needle = FoldLower(query.Text());
  for (const auto& p : paths) {
    const std::u16string_view name = std::u16string_view(p).substr(p.rfind(u'\\') + 1);
    const bool hit = query.IsWildcard() ? query.Matches(name) : FoldLower(name).find(needle) != std::u16string::npos;
    if (hit) {
      out.push_back(p);
      if (out.size() >= cap) break;
    }
  }
  return out.size();
}
}  // namespace

int main() {
  constexpr std::size_t kEntries = 1000000;
  constexpr std::size_t kCap = 10000;
  Generated g;
  double buildMs = 0;
  Generate(g, kEntries, buildMs);
  std::printf("indexed %zu entries in %.0f ms: %.0f entries/s, %.1f bytes/entry (%zu bytes)\n", g.index.Count(),
              buildMs, g.index.Count() / (buildMs / 1000.0), double(g.index.MemoryBytes()) / g.index.Count(),
              g.index.MemoryBytes());

  const char16_t* const queries[] = {u"report", u"INVOICE", u"summary_4", u"xyz", u"caf\u00e9", u"\u6587\u6863",
                                     u"_12345", u"notes draft", u".docx", u"zzz",
                                     u"*.txt", u"report*", u"*_9999?.pdf", u"b?dget*", u"*meeting*.xlsx",
                                     u"*.none", u"r*t *_1*.h", u"??????", u"*\u6587*.zip", u"setup config*"};
  const std::vector<FileIndex::EntryId> scope = g.index.Roots();
  std::printf("%-18s %8s %10s %10s %10s %8s\n", "query", "items", "scan ms", "index ms", "naive ms", "naive#");
  double totalIndex = 0, totalNaive = 0;
  for (const char16_t* q : queries) {
    const NameQuery query(q);
    auto t0 = Clock::now();
    const auto ids = g.index.Search(query, scope, kCap);
    const double scanMs = MsSince(t0);
    const std::vector<std::u16string> answer = g.index.PathsOf(ids);
    const double indexMs = MsSince(t0);
    std::vector<std::u16string> naive;
    t0 = Clock::now();
    NaiveSearch(g.paths, query, kCap, naive);
    const double naiveMs = MsSince(t0);
    totalIndex += indexMs;
    totalNaive += naiveMs;
    std::printf("%-18s %8zu %10.2f %10.2f %10.2f %8zu\n", Utf16ToUtf8(q).c_str(), answer.size(), scanMs, indexMs, naiveMs,
                naive.size());
  }
  std::printf("mean per full answer (cap %zu): index %.2f ms, naive %.2f ms\n", kCap, totalIndex / std::size(queries),
              totalNaive / std::size(queries));
}
