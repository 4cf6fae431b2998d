// Names per second of WildcardSplit (ignoring case) over real-looking file names, beside a
// plain case-insensitive substring search over the same names as the baseline; then the
// costliest patterns the service takes (at the length cap) searched over an index of the same
// names, as sent and in the short form the service searches with.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/TextFold.h"
#include "core/Wildcard.h"

namespace {

std::vector<std::u16string> MakeNames(std::size_t count) {
  const char16_t* stems[] = {u"Report",
                             u"IMG_",
                             u"setup",
                             u"Annual Budget",
                             u"notes",
                             u"\x5E74\x5EA6\x62A5\x544A",
                             u"DSC",
                             u"invoice",
                             u"README",
                             u"Projekt \x00DC"
                             u"bersicht",
                             u"backup",
                             u"draft"};
  const char16_t* exts[] = {u".txt",  u".jpg", u".docx", u".pdf", u".exe",
                            u".xlsx", u".png", u".cpp",  u".md",  u".zip"};
  std::mt19937 rng(42);
  std::vector<std::u16string> names;
  names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::u16string n = stems[rng() % std::size(stems)];
    n += u" ";
    const unsigned num = rng() % 100000;
    for (char c : std::to_string(num)) n += static_cast<char16_t>(c);
    n += exts[rng() % std::size(exts)];
    names.push_back(std::move(n));
  }
  return names;
}

template <class F>
double Run(const char* label, std::size_t count, F f) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t hits = f();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-44s %10.0f names/s  (%zu matched, %.3f s)\n", label, count / s, hits, s);
  return s;
}

}  // namespace

int main() {
  constexpr std::size_t kCount = 1000000;
  const std::vector<std::u16string> names = MakeNames(kCount);
  const std::u16string patterns[] = {u"*report*", u"img_*.jpg", u"*.docx", u"*2?3*.pdf"};
  std::printf("%zu (pattern, name) pairs per pattern\n", kCount);
  for (const std::u16string& pattern : patterns) {
    std::printf("pattern \"");
    for (char16_t c : pattern) std::putchar(static_cast<char>(c));
    std::printf("\"\n");
    Run("  WildcardSplit (wsIgnoreCase)", kCount, [&] {
      std::size_t hits = 0;
      TStringArray pieces;
      for (const std::u16string& n : names) {
        if (WildcardSplit(pattern, n, wsIgnoreCase, pieces)) ++hits;
      }
      return hits;
    });
    // Baseline: the literal part of the pattern found case-insensitively as a substring.
    std::u16string literal;
    for (char16_t c : pattern)
      if (c != u'*' && c != u'?') literal += c;
    const std::u16string foldedLiteral = FoldLower(literal);
    Run("  FoldLower + substring search", kCount, [&] {
      std::size_t hits = 0;
      for (const std::u16string& n : names)
        if (FoldLower(n).find(foldedLiteral) != std::u16string::npos) ++hits;
      return hits;
    });
  }
  FileIndex index;
  const FileIndex::EntryId root = index.AddRoot(u"C:\\");
  for (const std::u16string& n : names) index.Add(root, n, false);
  const std::size_t half = kMaxWildcardChars / 2;
  std::u16string starA, starQ, starAQ;
  for (std::size_t i = 0; i < half; ++i) {
    starA += u"*r";
    starQ += u"*?";
  }
  for (std::size_t i = 0; i < kMaxWildcardChars / 3; ++i) starAQ += u"*?e";
  const std::pair<const char*, std::u16string> worst[] = {
      {"1,024 stars", std::u16string(kMaxWildcardChars, u'*')},
      {"\"*r\" x 512", starA},
      {"\"*?\" x 512", starQ},
      {"\"*?e\" x 341", starAQ},
      {"1,023 stars then \"x\"", std::u16string(kMaxWildcardChars - 1, u'*') + u"x"},
  };
  std::printf("\nindex search of %zu names with patterns at the cap (%zu characters)\n", kCount, kMaxWildcardChars);
  double longest = 0;
  for (const auto& [label, pattern] : worst) {
    for (const bool simplified : {false, true}) {
      const NameQuery query(simplified ? SimplifyWildcard(pattern) : pattern);
      const auto start = std::chrono::steady_clock::now();
      const std::size_t hits = index.Search(query, {root}, static_cast<std::size_t>(-1)).size();
      const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (simplified) longest = std::max(longest, s);
      std::printf("  %-26s %-11s %8.3f s  (%zu hits)\n", label, simplified ? "simplified" : "as sent", s, hits);
    }
  }
  std::printf("longest search as the service runs it: %.3f s\n", longest);
  return 0;
}
