#include "core/Wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/TextFold.h"
#include "core/TextUtils.h"

namespace {

struct SplitCase {
  const char* pattern;
  const char* text;
  unsigned flags;
  bool matches;
  std::vector<const char*> pieces;
  const char* matchText;  // BuildMatchText(pattern, pieces)
};

TStringArray ToArray(const std::vector<const char*>& v) {
  TStringArray out;
  for (const char* s : v) out.push_back(U16(s));
  return out;
}

class WildcardSplitTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(WildcardSplitTable, PiecesAndMatchText) {
  const SplitCase& c = GetParam();
  TStringArray pieces{u"stale"};
  const bool matched = WildcardSplit(U16(c.pattern), U16(c.text), c.flags, pieces);
  EXPECT_EQ(matched, c.matches);
  EXPECT_EQ(pieces, ToArray(c.pieces));
  EXPECT_EQ(Utf16ToUtf8(BuildMatchText(U16(c.pattern), pieces)), c.matchText);
}

constexpr unsigned IC = wsIgnoreCase;

INSTANTIATE_TEST_SUITE_P(
    Cases, WildcardSplitTable,
    ::testing::Values(
        SplitCase{"*.txt", "Notes.TXT", IC, true, {"Notes"}, "Notes.txt"},
        SplitCase{"a?c", "ABC", IC, true, {"B"}, "aBc"},
        SplitCase{"abc", "abc", IC, true, {""}, "abc"},
        SplitCase{"abc", "xabc", IC, false, {}, "abc"},
        SplitCase{"abc", "abcx", IC, false, {}, "abc"},
        SplitCase{"*a*b", "xxAyyB", IC, true, {"xx", "yy"}, "xxayyb"},
        SplitCase{"a*b*c", "abxbyc", IC, true, {"", "xby"}, "abxbyc"},
        SplitCase{"*?x", "abx", IC, true, {"ab"}, "abx"}, SplitCase{"", "", IC, true, {""}, ""},
        SplitCase{"*", "", IC, true, {""}, ""}, SplitCase{"?", "", IC, false, {}, ""},
        SplitCase{"a\\*b", "a*b", IC | wsBackslashEscape, true, {""}, "a\\b"},
        SplitCase{"a\\*b", "a*b", IC, false, {}, "a\\b"},
        SplitCase{"a\\*b", "a\\xyz*b", IC, true, {"xyz*"}, "a\\xyz*b"},
        SplitCase{"a\\?b", "a?b", wsBackslashEscape, true, {""}, "a\\b"},
        SplitCase{"a\\?b", "axb", wsBackslashEscape, false, {}, "a\\b"},
        SplitCase{"a\\\\b", "a\\b", wsBackslashEscape, true, {""}, "a\\\\b"},
        SplitCase{"a*c", "xxabbcxx", IC, false, {}, "ac"},
        // Stars at both ends, a run of stars and a question mark, and the whole text to a star.
        SplitCase{"*report*",
                  "Annual Report 2023.pdf",
                  IC,
                  true,
                  {"Annual ", " 2023.pdf"},
                  "Annual report 2023.pdf"},
        SplitCase{"**?*x", "abcx", IC, true, {"abc"}, "abcx"},
        SplitCase{"*", "Anything.doc", IC, true, {"Anything.doc"}, "Anything.doc"},
        SplitCase{"??", "ab", IC, true, {"ab"}, "ab"},
        SplitCase{"a?*", "abcd", IC, true, {"bcd"}, "abcd"},
        // A pattern longer than the text.
        SplitCase{"abcdef", "abc", IC, false, {}, "abcdef"},
        SplitCase{"abc*?", "abc", IC, false, {}, "abc"},
        SplitCase{"*abcdef*", "abc", IC, false, {}, "abcdef"},
        // Case: without wsIgnoreCase (or with wsCaseSensitive) letters compare exactly.
        SplitCase{"*.txt", "Notes.TXT", 0, false, {}, ".txt"},
        SplitCase{"*.txt", "Notes.TXT", IC | wsCaseSensitive, false, {}, ".txt"},
        SplitCase{"*.TXT", "Notes.TXT", wsCaseSensitive, true, {"Notes"}, "Notes.TXT"},
        // Non-ASCII letters fold too; the pieces keep the text's own case.
        SplitCase{"\xC3\xA9t\xC3\xA9*",
                  "\xC3\x89T\xC3\x89 Paris.jpg",
                  IC,
                  true,
                  {" Paris.jpg"},
                  "\xC3\xA9t\xC3\xA9 Paris.jpg"},
        SplitCase{"*\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82*",
                  "\xD0\x9E\xD0\xA2\xD0\xA7\xD0\x81\xD0\xA2.docx",
                  IC,
                  true,
                  {"", ".docx"},
                  "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.docx"},
        SplitCase{"*\xE6\x8A\xA5\xE5\x91\x8A?",
                  "\xE5\xB9\xB4\xE5\xBA\xA6\xE6\x8A\xA5\xE5\x91\x8A"
                  "1",
                  IC,
                  true,
                  {"\xE5\xB9\xB4\xE5\xBA\xA6", "1"},
                  "\xE5\xB9\xB4\xE5\xBA\xA6\xE6\x8A\xA5\xE5\x91\x8A"
                  "1"}));

TEST(BuildMatchText, MorePiecesOrFewer) {
  // Runs without a piece are removed; extra pieces are ignored.
  EXPECT_EQ(BuildMatchText(u"*a*b*", {u"1"}), u"1ab");
  EXPECT_EQ(BuildMatchText(u"*a*b*", {u"1", u"2", u"3", u"4"}), u"1a2b3");
  EXPECT_EQ(BuildMatchText(u"ab", {}), u"ab");
}

TEST(BuildMatchText, PiecesHoldingWildcardCharactersStayInPlace) {
  // The name comes from another process and may hold "*" or "?" itself.
  const std::u16string text = u"x*a?";
  TStringArray pieces;
  ASSERT_TRUE(WildcardSplit(u"*a*", text, wsIgnoreCase, pieces));
  EXPECT_EQ(pieces, (TStringArray{u"x*", u"?"}));
  EXPECT_EQ(BuildMatchText(u"*a*", pieces), text);
  EXPECT_EQ(BuildMatchText(u"?*b?", {u"*?", u"?"}), u"*?b?");
}

TEST(WildcardSplit, ManyStarsOnLongTextStaysBounded) {
  // A pattern of many star-separated letters that fails only at the very end: the single
  // backtrack point keeps this to pattern length times text length steps.
  std::u16string text(20000, u'a');
  std::u16string pattern;
  for (int i = 0; i < 200; ++i) pattern += u"*a";
  pattern += u"*b";
  TStringArray pieces;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WildcardSplit(pattern, text, wsIgnoreCase, pieces));
  EXPECT_TRUE(pieces.empty());
  text.back() = u'B';
  EXPECT_TRUE(WildcardSplit(pattern, text, wsIgnoreCase, pieces));
  ASSERT_EQ(pieces.size(), 201u);
  EXPECT_EQ(pieces[0], u"");
  EXPECT_EQ(pieces[199], u"");
  EXPECT_EQ(pieces[200], std::u16string(20000 - 201, u'a'));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(WildcardSplit, EmbeddedNulIsOrdinaryCharacter) {
  TStringArray pieces;
  const std::u16string nul(1, u'\0');
  EXPECT_TRUE(WildcardSplit(u"a" + nul + u"*", u"a" + nul + u"z", wsIgnoreCase, pieces));
  EXPECT_EQ(pieces, TStringArray{u"z"});
  EXPECT_FALSE(WildcardSplit(u"a" + nul, u"a", wsIgnoreCase, pieces));
  EXPECT_FALSE(WildcardSplit(u"a", u"a" + nul, wsIgnoreCase, pieces));
}

TEST(FoldLower, KeepsLengthAndFoldsUnicodeLetters) {
  const std::u16string in = U16("ABC \xC3\x89\xC3\x80 \xCE\xA3\xD0\x96 \xC5\x81 \xE4\xB8\xAD 123");
  const std::u16string out = FoldLower(in);
  EXPECT_EQ(out, U16("abc \xC3\xA9\xC3\xA0 \xCF\x83\xD0\xB6 \xC5\x82 \xE4\xB8\xAD 123"));
  const std::u16string surrogates = U16("\xF0\x9F\x98\x80X");
  EXPECT_EQ(FoldLower(surrogates), U16("\xF0\x9F\x98\x80x"));
}

TEST(SimplifyWildcard, RunsKeepTheirQuestionMarksAndOneStar) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},          {"abc", "abc"},       {"***", "*"},         {"a***b", "a*b"},
      {"*?*?*", "??*"},  {"?*?", "??*"},       {"??", "??"},         {"a*?b**c?", "a?*b*c?"},
      {"\\**x", "\\*x"}, {"**a**", "*a*"},
  };
  for (const auto& [pattern, simple] : cases) EXPECT_EQ(Utf16ToUtf8(SimplifyWildcard(U16(pattern))), simple) << pattern;
}

// The simplified pattern matches the same names with the same pieces, so the match text the
// program boxes does not change.
TEST(SimplifyWildcard, MatchesAndPiecesStayTheSame) {
  const char* patterns[] = {"*?*.txt", "r**?port*", "*a*?*b", "?*?*?", "**", "*?x", "a*?*"};
  const char* names[] = {"report.txt", "Report-2024.txt", "ab", "xaxbx", "abx", "a", "", "aaab"};
  for (const char* p : patterns) {
    const std::u16string simple = SimplifyWildcard(U16(p));
    for (const char* n : names) {
      TStringArray original, simplified;
      EXPECT_EQ(WildcardSplit(U16(p), U16(n), wsIgnoreCase, original), WildcardSplit(simple, U16(n), wsIgnoreCase, simplified))
          << p << " " << n;
      EXPECT_EQ(original, simplified) << p << " " << n;
    }
  }
}

TEST(SimplifyWildcard, ThousandsOfStarsBecomeOne) {
  const std::u16string stars(1000000, u'*');
  EXPECT_EQ(SimplifyWildcard(stars + u"x" + stars), u"*x*");
  EXPECT_GE(kMaxWildcardChars, 1024u);
}

}  // namespace
