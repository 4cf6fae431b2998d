#include "core/Format.h"

#include <gtest/gtest.h>

#include <string>

#include "core/TextUtils.h"

namespace {

struct SizeCase {
  std::int64_t size;
  const char* text;
};

TEST(FormatFileSize, Table) {
  const SizeCase cases[] = {
      {0, "0 bytes"},
      {1023, "1023 bytes"},
      {-5, "-5 bytes"},
      {INT64_MIN, "-9223372036854775808 bytes"},
      {1024, "1.0 KB"},
      {1536, "1.5 KB"},
      {1280, "1.3 KB"},  // exact halves round up, whatever the C library does
      {3328, "3.3 KB"},
      {1331, "1.3 KB"},
      {1310720, "1.3 MB"},
      {1236950581248, "1.13 TB"},  // 1.125 TB
      {1048575, "1024.0 KB"},
      {1048576, "1.0 MB"},
      {1073741824, "1.0 GB"},
      {5368709120, "5.0 GB"},
      {1099511627775, "1024.0 GB"},
      {1099511627776, "1.00 TB"},
      {1649267441664, "1.50 TB"},
      {INT64_MAX, "8388608.00 TB"},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(Utf16ToUtf8(FormatFileSize(c.size, u".")), c.text);
  }
}

TEST(FormatFileSize, UsesGivenDecimalSeparator) {
  EXPECT_EQ(FormatFileSize(1536, u","), u"1,5 KB");
  EXPECT_EQ(FormatFileSize(1099511627776, u"\x066B"),
            u"1\x066B"
            u"00 TB");
  EXPECT_EQ(FormatFileSize(1023, u","), u"1023 bytes");
}

struct DecodeCase {
  const char* in;
  const char* out;
};

TEST(URLDecode, Table) {
  const DecodeCase cases[] = {
      {"", ""},
      {"a+b%41", "a bA"},
      {"100%%", "100%"},
      {"%2f%2F%7e", "//~"},
      {"C:/a%20b/c", "C:/a b/c"},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(URLDecode(c.in), c.out) << c.in;
  EXPECT_EQ(URLDecode("%00x"), std::string("\0x", 2));
  // UTF-8 escapes of a Chinese name decode to its UTF-8 bytes.
  EXPECT_EQ(Utf8ToUtf16(URLDecode("C:/%E6%96%87%E6%A1%A3/%E6%8A%A5%E5%91%8A")),
            u"C:/\x6587\x6863/\x62A5\x544A");
}

struct ErrorCase {
  const char* in;
  const char* message;
};

TEST(URLDecode, Errors) {
  const ErrorCase cases[] = {
      {"abc%4", "Error decoding URL style (%XX) encoded string at position 4"},
      {"%", "Error decoding URL style (%XX) encoded string at position 1"},
      {"ab%", "Error decoding URL style (%XX) encoded string at position 3"},
      {"%G1", "Invalid URL encoded character (%G1) at position 1"},
      {"x%4z", "Invalid URL encoded character (%4z) at position 2"},
      {"ok%41%%%-1", "Invalid URL encoded character (%-1) at position 8"},
  };
  for (const ErrorCase& c : cases) {
    try {
      URLDecode(c.in);
      ADD_FAILURE() << "no error for " << c.in;
    } catch (const EURLDecodeError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

struct UrlCase {
  const char* url;
  const char* path;
};

TEST(FileURLToPath, Table) {
  const UrlCase cases[] = {
      {"file:///C:/a%20b/c", "C:\\a b\\c\\"},
      {"file:///C:/a%20b/c/", "C:\\a b\\c\\"},
      {"file:///C:/", "C:\\"},
      {"file:///D:/%E6%96%87%E6%A1%A3/%E6%8A%A5%E5%91%8A",
       "D:\\\xE6\x96\x87\xE6\xA1\xA3\\\xE6\x8A\xA5\xE5\x91\x8A\\"},
      {"file:///D:/\xE6\x96\x87\xE6\xA1\xA3 x", "D:\\\xE6\x96\x87\xE6\xA1\xA3 x\\"},
      {"file:///C:/C++%20notes/a+b", "C:\\C++ notes\\a+b\\"},
      {"file:///C:/100%25", "C:\\100%\\"},
      {"file://server/share/dir", "\\\\server\\share\\dir\\"},
      {"FILE://srv/s%20p", "\\\\srv\\s p\\"},
      {"C:/x", "\\x\\"},
      {"ab", "\\"},
      // Malformed escapes: the path stays undecoded.
      {"file:///C:/a%2", "C:\\a%2\\"},
      {"file:///C:/a%zz%20", "C:\\a%zz%20\\"},
      // Bytes that are no UTF-8 become replacements; the folder's final backslash stays.
      {"file:///C:/a%EA", "C:\\a\xEF\xBF\xBD\\"},
      {"file:///C:/a/%C0%AE%C0%AE/b", "C:\\a\\\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\\b\\"},
  };
  for (const UrlCase& c : cases) EXPECT_EQ(Utf16ToUtf8(FileURLToPath(U16(c.url))), c.path) << c.url;
}

TEST(LastPos, Table) {
  EXPECT_EQ(LastPos(u"aa", u"aaa"), 2u);
  EXPECT_EQ(LastPos(u"x", u"abc"), 0u);
  EXPECT_EQ(LastPos(u"", u"abc"), 0u);
  EXPECT_EQ(LastPos(u"abc", u"ab"), 0u);
  EXPECT_EQ(LastPos(u"\\", u"C:\\a\\b.txt"), 5u);
}

TEST(SameIgnoringAsciiCase, OnlyAToZFold) {
  EXPECT_TRUE(SameIgnoringAsciiCase(u"CabinetWClass", u"cabinetwCLASS"));
  EXPECT_TRUE(SameIgnoringAsciiCase(u"", u""));
  EXPECT_FALSE(SameIgnoringAsciiCase(u"\u00e9", u"\u00c9"));  // é / É
  EXPECT_FALSE(SameIgnoringAsciiCase(u"ntfs", u"ntfs "));
  EXPECT_FALSE(SameIgnoringAsciiCase(u"[", u"{"));  // 0x5B and 0x7B are not letters
}

}  // namespace
