#pragma once
// Matches a search query against a file name and recovers which part of the name each
// wildcard run took, so the literal part of the query can be boxed in the result list.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

using TStringArray = std::vector<std::u16string>;

// The longest query a person types. A longer one is no search anybody means, and the cost of
// matching grows with the pattern, so the service answers it with nothing.
inline constexpr std::size_t kMaxWildcardChars = 1024;

// Bit flags of WildcardSplit.
enum : unsigned {
  wsIgnoreCase = 1,       // fold pattern and text to lower case before matching
  wsBackslashEscape = 2,  // "\*", "\?" and "\\" stand for the literal character
  wsCaseSensitive = 4,    // cancels wsIgnoreCase
};

// Matches the whole text against the whole pattern ("*" any run, "?" one character).
// On a match, pieces gets one entry per wildcard run, in pattern order: the characters of the
// text (in the text's own case) that the run took; a pattern without wildcards gives one
// empty entry. On no match pieces is empty. Returns whether the text matched.
// A run is a stretch of "*" and "?" with no literal character between them. Only the most
// recent star is backtracked to, so the work is bounded by pattern length times text length.
bool WildcardSplit(std::u16string_view pattern, std::u16string_view text, unsigned flags,
                   TStringArray& pieces);

// The same pattern with each wildcard run written as its "?"s followed by one "*" when the run
// held any star: it matches the same names, and each run takes the same characters, so the
// pieces of a match and the match text do not change. Backslashes are ordinary characters.
// A query of many stars then costs no more than a short one.
std::u16string SimplifyWildcard(std::u16string_view pattern);

// Puts the pieces in place of the wildcard runs of the query: for a matched name this is the
// name with the query's literal characters as the user typed them; with no pieces, the query
// with its wildcard runs removed. Backslashes are ordinary characters here.
std::u16string BuildMatchText(std::u16string_view wildcard, const TStringArray& pieces);
