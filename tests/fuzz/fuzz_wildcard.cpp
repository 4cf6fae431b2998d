// A pattern and a text (split at the first U+0000 unit, the first byte giving the flags, its
// fourth bit a long pattern made of a repeated unit instead): the splitter's answer is
// compared with a plain dynamic-programming matcher and with its answer for the simplified
// pattern, and the pieces must rebuild the matched name.
#include <vector>

#include "FuzzInput.h"
#include "core/TextFold.h"
#include "core/Wildcard.h"

namespace {

bool IsWild(char16_t c) { return c == u'*' || c == u'?'; }

// Whole-text glob match by table, "*" any run and "?" one unit.
bool ReferenceMatch(std::u16string_view p, std::u16string_view t) {
  std::vector<char> row(t.size() + 1, 0), next(t.size() + 1, 0);
  row[0] = 1;
  for (std::size_t j = 1; j <= t.size(); ++j) row[j] = 0;
  for (char16_t c : p) {
    next.assign(t.size() + 1, 0);
    if (c == u'*') {
      char any = 0;
      for (std::size_t j = 0; j <= t.size(); ++j) next[j] = any = static_cast<char>(any || row[j]);
    } else {
      for (std::size_t j = 1; j <= t.size(); ++j) next[j] = row[j - 1] && (c == u'?' || c == t[j - 1]);
    }
    row.swap(next);
  }
  return row[t.size()] != 0;
}

std::size_t CountRuns(std::u16string_view p) {
  std::size_t runs = 0;
  for (std::size_t i = 0; i < p.size(); ++i)
    if (IsWild(p[i]) && (i == 0 || !IsWild(p[i - 1]))) ++runs;
  return runs;
}

// Patterns far longer than an input holds: a short unit repeated, up to this many units.
constexpr std::size_t kLongPattern = 1 << 14;
// The table matcher's work, pattern times text, that a run may spend.
constexpr std::size_t kReferenceWork = 1 << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t head = in.Byte();
  const unsigned flags = head & 7u;
  std::u16string pattern, text;
  if (head & 8u) {
    // Long patterns, runs of stars among them: a unit, how often it repeats, then the text.
    const std::u16string unit = in.ShortText16();
    const std::size_t times = in.Value<std::uint16_t>();
    for (std::size_t i = 0; i < times && !unit.empty() && pattern.size() < kLongPattern; ++i) pattern += unit;
    text = in.Text16(in.Remaining() / 2);
  } else {
    const std::u16string all = in.Text16(in.Remaining() / 2);
    const std::size_t cut = all.find(u'\0');
    pattern = all.substr(0, cut);
    text = cut == std::u16string::npos ? std::u16string() : all.substr(cut + 1);
  }

  TStringArray pieces;
  const bool matched = WildcardSplit(pattern, text, flags, pieces);
  FUZZ_CHECK(matched || pieces.empty());

  const bool folds = (flags & wsIgnoreCase) && !(flags & wsCaseSensitive);
  if (!(flags & wsBackslashEscape)) {
    // The short form matches alike, with the same pieces.
    TStringArray simplePieces;
    FUZZ_CHECK(WildcardSplit(SimplifyWildcard(pattern), text, flags, simplePieces) == matched);
    FUZZ_CHECK(simplePieces == pieces);
  }
  if (!(flags & wsBackslashEscape) && (pattern.size() + 1) * (text.size() + 1) <= kReferenceWork) {
    const std::u16string p = folds ? FoldLower(pattern) : pattern;
    const std::u16string t = folds ? FoldLower(text) : text;
    FUZZ_CHECK(matched == ReferenceMatch(p, t));
    if (matched) {
      FUZZ_CHECK(pieces.size() == std::max<std::size_t>(CountRuns(pattern), 1));
      // The pieces put back in place of the runs give the name, literals as typed.
      const std::u16string rebuilt = BuildMatchText(pattern, pieces);
      FUZZ_CHECK(folds ? FoldLower(rebuilt) == t : rebuilt == text);
    }
  }

  // Without pieces the runs are dropped.
  std::u16string literal;
  for (char16_t c : pattern)
    if (!IsWild(c)) literal.push_back(c);
  FUZZ_CHECK(BuildMatchText(pattern, {}) == literal);
  return 0;
}
