#include <gtest/gtest.h>

#include "core/Channel.h"
#include "core/TextUtils.h"

namespace {
struct ChannelCase {
  const char* exe;
  std::uint32_t channel;
};

TEST(ChannelFromExeName, Table) {
  const ChannelCase cases[] = {
      {"Setup_1024.exe", 1024},
      {"setup_7.EXE", 7},          // extension found case-insensitively
      {"inst_a_12.exe", 12},       // the last "_" counts
      {"explorer.exe", 1},         // no "_": the whole stem, not a number
      {"100.exe", 100},            // no "_": the whole stem is the number
      {"x_5.exe.exe", 1},          // text "5.exe"
      {"", 1},                     // parent not found
      {"setup_.exe", 1},           // "_" right before the extension: empty text
      {"setup_12", 1},             // ".exe" missing: negative length, empty text
      {"setup_12.com", 1},
      {"Setup_+42.exe", 42},
      {"Setup_-1.exe", 0xFFFFFFFFu},
      {"Setup_$FF.exe", 255},
      {"Setup_0x10.exe", 16},
      {"Setup_x1F.exe", 31},
      {"Setup_$FFFFFFFF.exe", 0xFFFFFFFFu},
      {"Setup_2147483647.exe", 2147483647u},
      {"Setup_2147483648.exe", 1},  // out of range for a signed 32-bit integer
      {"Setup_1 2.exe", 1},
      {"Setup_ 12.exe", 12},        // leading blanks are accepted
      {"Setup_12 .exe", 1},         // trailing ones are not
      {"a_b_c_3.Exe", 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChannelFromExeName(U16(c.exe)), c.channel) << c.exe;
}

TEST(TextUtils, LastPosTrimAndUtf8RoundTrip) {
  EXPECT_EQ(LastPos(u"_", u"a_b_c"), 4u);
  EXPECT_EQ(LastPos(u"x", u"abc"), 0u);
  EXPECT_EQ(LastPos(u"", u"abc"), 0u);
  EXPECT_EQ(Trim(u"  a b \t"), u"a b");
  EXPECT_EQ(Trim(u" \t "), u"");
  const std::string mixed = "D:\\\xE6\x96\x87\xE4\xBB\xB6\\\xF0\x9F\x98\x80.txt";  // CJK + emoji
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(mixed)), mixed);
  EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, u'\xFFFD'));  // truncated sequence
  // A lone surrogate (a valid Windows file name unit) is replaced in UTF-8, kept in WTF-8.
  const std::u16string lone{u'a', static_cast<char16_t>(0xD800), u'b'};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(lone, TSurrogates::Keep), TSurrogates::Keep), lone);
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), std::u16string(3, u'\xFFFD'));  // one per byte, as browsers decode
}

TEST(TextUtils, Utf8SequenceCutShortKeepsWhatFollows) {
  const std::u16string r(1, u'\xFFFD');
  EXPECT_EQ(Utf8ToUtf16("\xEA\\"), r + u"\\");  // the byte that cut it short is not lost
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8(x"), r + u"(x");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98" "ab"), r + u"ab");
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F", TSurrogates::Keep), u"a" + r);
}

TEST(TextUtils, Utf8OverlongFormsAreNoCharacters) {
  // Each would otherwise decode to "/", ".", "I" or NUL.
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(2, u'\xFFFD'));
  EXPECT_EQ(Utf8ToUtf16("\xC1\x89"), std::u16string(2, u'\xFFFD'));
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAE"), std::u16string(3, u'\xFFFD'));
  EXPECT_EQ(Utf8ToUtf16("\xF0\x80\x80\x80", TSurrogates::Keep), std::u16string(4, u'\xFFFD'));
  // The shortest forms at each length boundary still decode.
  EXPECT_EQ(Utf8ToUtf16("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"), (std::u16string{0x80, 0x800, 0xD800, 0xDC00}));
}
}  // namespace
