#include "core/FileIndexQuery.h"

#include "core/FileIndexText.h"
#include "core/TextFold.h"
#include "core/Wildcard.h"

namespace {
bool IsWild(char16_t c) { return c == u'*' || c == u'?'; }

// The final word on a wildcard match is the matcher's, so index answers and the boxed match
// text in the result list never disagree.
bool WildcardMatches(std::u16string_view pattern, std::u16string_view name) {
  TStringArray pieces;
  return WildcardSplit(pattern, name, wsIgnoreCase, pieces);
}

// Bytes of the WTF-8 sequence that starts with lead (a malformed lead counts as one byte).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool HasLoneSurrogate(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsHigh(s[i]) && i + 1 < s.size() && IsLow(s[i + 1])) ++i;
    else if (IsHigh(s[i]) || IsLow(s[i])) return true;
  }
  return false;
}

enum class Glob { kNo, kYes, kUnsure };

// The same match on folded WTF-8 bytes, "?" taking one UTF-16 unit. A name with a character
// outside the BMP (two units in one sequence) is left to the UTF-16 matcher.
Glob GlobFolded(std::string_view p, std::string_view t) {
  std::size_t pi = 0, ti = 0, star = std::string_view::npos, starText = 0;
  while (ti < t.size()) {
    const std::size_t len = SequenceLength(static_cast<unsigned char>(t[ti]));
    if (len == 4) return Glob::kUnsure;
    if (pi < p.size() && p[pi] == '*') {
      star = ++pi;
      starText = ti;
    } else if (pi < p.size() && p[pi] == '?') {
      ++pi;
      ti += len;
    } else if (pi < p.size() && p[pi] == t[ti]) {
      ++pi;
      ++ti;
    } else if (star != std::string_view::npos) {
      pi = star;
      starText += SequenceLength(static_cast<unsigned char>(t[starText]));
      ti = starText;
    } else {
      return Glob::kNo;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size() ? Glob::kYes : Glob::kNo;
}

}  // namespace

NameQuery::NameQuery(std::u16string_view text) : text_(text) {
  for (char16_t c : text_) wildcard_ = wildcard_ || IsWild(c);
  const std::u16string folded = FoldLower(text_);
  // Half of a surrogate pair lies inside one 4-byte sequence, where no byte search finds it.
  unitsOnly_ = HasLoneSurrogate(text_);
  if (unitsOnly_) {
    foldedText_ = folded;
    return;
  }
  if (!wildcard_) {
    needle_ = ToWtf8(folded);
    return;
  }
  pattern_ = ToWtf8(folded);
  anchoredStart_ = !IsWild(folded.front());
  anchoredEnd_ = !IsWild(folded.back());
  std::u16string run;
  for (char16_t c : folded) {
    if (IsWild(c)) {
      if (!run.empty()) pieces_.push_back(ToWtf8(run));
      run.clear();
    } else {
      run.push_back(c);
    }
  }
  if (!run.empty()) pieces_.push_back(ToWtf8(run));
}

// Necessary for a wildcard match: the literal runs occur in order, the first at the start and
// the last at the end when the pattern is anchored there.
bool NameQuery::Prefilter(std::string_view folded) const {
  std::size_t from = 0;
  std::size_t end = folded.size();
  std::size_t first = 0;
  std::size_t last = pieces_.size();
  if (anchoredStart_ && !pieces_.empty()) {
    if (folded.substr(0, pieces_.front().size()) != pieces_.front()) return false;
    from = pieces_.front().size();
    first = 1;
  }
  if (anchoredEnd_ && last > first) {
    const std::string& tail = pieces_.back();
    if (tail.size() > end - from || folded.substr(end - tail.size()) != tail) return false;
    end -= tail.size();
    --last;
  }
  for (std::size_t i = first; i < last; ++i) {
    const std::size_t at = folded.substr(0, end).find(pieces_[i], from);
    if (at == std::string_view::npos) return false;
    from = at + pieces_[i].size();
  }
  return true;
}

bool NameQuery::MatchesUnits(std::u16string_view name) const {
  if (wildcard_) return WildcardMatches(text_, name);
  return FoldLower(name).find(foldedText_) != std::u16string::npos;
}

bool NameQuery::MatchesStored(std::string_view folded, std::string_view original) const {
  if (text_.empty()) return false;
  if (unitsOnly_) return MatchesUnits(FromWtf8(original));
  if (!wildcard_) return folded.find(needle_) != std::string_view::npos;
  if (!Prefilter(folded)) return false;
  // The stored folded form is the matcher's own folding of the name, so a sure answer on its
  // bytes is the matcher's answer; only names it cannot judge go to the matcher.
  switch (GlobFolded(pattern_, folded)) {
    case Glob::kYes: return true;
    case Glob::kNo: return false;
    case Glob::kUnsure: break;
  }
  return WildcardMatches(text_, FromWtf8(original));
}

std::vector<std::string_view> NameQuery::LiteralRuns() const {
  if (text_.empty() || unitsOnly_) return {};
  if (!wildcard_) return {needle_};
  return {pieces_.begin(), pieces_.end()};
}

bool NameQuery::Matches(std::u16string_view name) const {
  if (text_.empty()) return false;
  if (unitsOnly_) return MatchesUnits(name);
  const std::string folded = ToWtf8(FoldLower(name));
  if (!wildcard_) return folded.find(needle_) != std::string::npos;
  return Prefilter(folded) && GlobFolded(pattern_, folded) != Glob::kNo && WildcardMatches(text_, name);
}
