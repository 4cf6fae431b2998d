#pragma once
// A compiled name query. Without "*" or "?" a name matches when it contains the query,
// ignoring case; with them the whole name must match the pattern as the wildcard matcher
// (WildcardSplit, ignoring case) decides. Literal pieces of a pattern are checked first on
// the folded bytes, then the whole pattern on them; the matcher itself runs only for names
// those bytes cannot settle (characters outside the BMP). A query holding half of a surrogate
// pair is matched on code units throughout.
#include <string>
#include <string_view>
#include <vector>

class NameQuery {
 public:
  explicit NameQuery(std::u16string_view text);

  const std::u16string& Text() const { return text_; }
  bool IsWildcard() const { return wildcard_; }
  // An empty query matches nothing.
  bool IsEmpty() const { return text_.empty(); }

  // Decides for a name held in UTF-16 (a folder walked directly).
  bool Matches(std::u16string_view name) const;
  // Decides for a name held by the index: its folded and original WTF-8 bytes.
  bool MatchesStored(std::string_view folded, std::string_view original) const;
  // Folded WTF-8 runs that every name MatchesStored accepts holds in its folded bytes; none for
  // a query matched on code units.
  std::vector<std::string_view> LiteralRuns() const;

 private:
  bool Prefilter(std::string_view folded) const;
  bool MatchesUnits(std::u16string_view name) const;

  std::u16string text_;
  bool wildcard_ = false;
  bool unitsOnly_ = false;
  std::u16string foldedText_;        // a query matched on code units: the folded query
  std::string needle_;               // substring query: the folded query
  std::string pattern_;              // wildcard query: the folded pattern
  std::vector<std::string> pieces_;  // wildcard query: folded literal runs, in order
  bool anchoredStart_ = false;       // the pattern begins with a literal
  bool anchoredEnd_ = false;         // the pattern ends with a literal
};
