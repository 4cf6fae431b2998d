#include "core/Wildcard.h"

#include <cstddef>

#include "core/TextFold.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Reading at or past the end yields the terminator 0, as a C string would.
char16_t At(std::u16string_view s, std::size_t i) { return i < s.size() ? s[i] : u'\0'; }

}  // namespace

bool WildcardSplit(std::u16string_view pattern, std::u16string_view text, unsigned flags,
                   TStringArray& pieces) {
  pieces.clear();
  const std::u16string_view original = text;
  std::u16string foldedPattern, foldedText;
  if ((flags & wsIgnoreCase) && !(flags & wsCaseSensitive)) {
    foldedPattern = FoldLower(pattern);
    foldedText = FoldLower(text);
    pattern = foldedPattern;
    text = foldedText;
  }
  const bool escapes = (flags & wsBackslashEscape) != 0;

  std::size_t patternAt = 0, textAt = 0;  // the next positions to compare
  // Where to go on when a comparison fails: the pattern position after the last star, the
  // text position that star takes in next, and the pieces as they were when it began.
  std::size_t starPatternAt = kNone, starTextAt = 0, starPieceCount = 0, starRunLength = 0;
  bool inRun = false;

  for (;;) {
    const char16_t c = At(pattern, patternAt);
    bool matched;
    if (c == u'*') {
      while (At(pattern, patternAt) == u'*') ++patternAt;
      starPatternAt = patternAt;
      starTextAt = textAt + 1;
      if (!inRun) pieces.emplace_back();
      starPieceCount = pieces.size();
      starRunLength = pieces.back().size();
      inRun = true;
      continue;
    } else if (c == u'?') {
      matched = textAt < text.size();
      if (matched) {
        if (!inRun) pieces.emplace_back();
        pieces.back().push_back(original[textAt]);
        inRun = true;
      }
    } else {
      if (escapes && c == u'\\' && patternAt + 1 < pattern.size()) {
        const char16_t next = pattern[patternAt + 1];
        if (next == u'*' || next == u'?' || next == u'\\') ++patternAt;
      }
      matched = At(text, textAt) == At(pattern, patternAt);
      if (matched) inRun = false;
    }

    if (matched) {
      const bool patternEnd = patternAt >= pattern.size();
      const bool textEnd = textAt >= text.size();
      if (patternEnd && textEnd) {
        if (pieces.empty()) pieces.emplace_back();
        return true;
      }
      if (!patternEnd && !textEnd) {
        ++patternAt;
        ++textAt;
        continue;
      }
    }

    // Backtrack: the most recent star takes in one more character of the text.
    if (starPatternAt == kNone || starTextAt > text.size()) {
      pieces.clear();
      return false;
    }
    patternAt = starPatternAt;
    textAt = starTextAt++;
    pieces.resize(starPieceCount);
    std::u16string& last = pieces.back();
    last.resize(starRunLength);
    last.push_back(original[textAt - 1]);
    ++starRunLength;
    inRun = true;
  }
}

std::u16string SimplifyWildcard(std::u16string_view pattern) {
  std::u16string out;
  out.reserve(pattern.size());
  bool star = false;  // the run so far held a star, still to be written
  for (const char16_t c : pattern) {
    if (c == u'*') {
      star = true;
      continue;
    }
    if (c != u'?' && star) {
      out.push_back(u'*');
      star = false;
    }
    out.push_back(c);
  }
  if (star) out.push_back(u'*');
  return out;
}

std::u16string BuildMatchText(std::u16string_view wildcard, const TStringArray& pieces) {
  // Built in one pass by position: a piece may itself hold "*" or "?" (the name comes from
  // another process), so searching the text built so far for the next run could hit a piece.
  std::u16string result;
  result.reserve(wildcard.size());
  std::size_t piece = 0;
  for (std::size_t k = 0; k < wildcard.size(); ++k) {
    const char16_t c = wildcard[k];
    if (c != u'*' && c != u'?') {
      result.push_back(c);
      continue;
    }
    const bool runStarts = k == 0 || (wildcard[k - 1] != u'*' && wildcard[k - 1] != u'?');
    if (runStarts) {
      if (piece < pieces.size()) result += pieces[piece];
      ++piece;
    }
  }
  return result;
}
