// Names per second of WildcardSplit (ignoring case) over real-looking file names, beside a
// plain case-insensitive substring search over the same names as the baseline.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

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
  return 0;
}
