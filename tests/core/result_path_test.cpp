#include "core/ResultPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PathCase {
  std::u16string path;
  bool acceptable;
};

class ResultPathTable : public ::testing::TestWithParam<PathCase> {};

TEST_P(ResultPathTable, Acceptable) { EXPECT_EQ(IsAcceptableResultPath(GetParam().path), GetParam().acceptable); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultPathTable,
    ::testing::Values(PathCase{u"C:\\a\\b.txt", true}, PathCase{u"z:\\", true},
                      PathCase{u"\\\\server\\share\\x.doc", true}, PathCase{u"\\\\?\\C:\\long\\name", true},
                      PathCase{u"\\\\?\\UNC\\server\\share\\f", true}, PathCase{u"", false},
                      PathCase{u"a\\b.txt", false}, PathCase{u"C:a.txt", false}, PathCase{u"\\a\\b", false},
                      PathCase{u"\\\\", false}, PathCase{u"\\\\\\x", false}, PathCase{u"\\\\?\\", false},
                      PathCase{u"\\\\?\\relative", false}, PathCase{u"\\\\.\\PhysicalDrive0", false},
                      PathCase{u"C:\\a:b", false}, PathCase{u"C:\\a\\b?.txt", false},
                      PathCase{u"C:\\a\\*.txt", false}, PathCase{u"C:\\a<b", false}, PathCase{u"C:\\a|b", false},
                      PathCase{u"C:\\a\"b", false}, PathCase{std::u16string(u"C:\\a\0b", 6), false},
                      PathCase{u"C:\\a\tb", false}, PathCase{u"C:\\" + std::u16string(32764, u'x'), true},
                      PathCase{u"C:\\" + std::u16string(32765, u'x'), false}));

TEST(ResultPath, ExtendedLengthOnlyForLongPaths) {
  const std::u16string shortPath = u"C:\\" + std::u16string(256, u'a');  // 259 characters
  EXPECT_EQ(ExtendedLengthPath(shortPath), shortPath);
  const std::u16string longPath = shortPath + u"b";
  EXPECT_EQ(ExtendedLengthPath(longPath), u"\\\\?\\" + longPath);
  const std::u16string unc = u"\\\\srv\\share\\" + std::u16string(300, u'a');
  EXPECT_EQ(ExtendedLengthPath(unc), u"\\\\?\\UNC\\srv\\share\\" + std::u16string(300, u'a'));
  const std::u16string prefixed = u"\\\\?\\" + longPath;
  EXPECT_EQ(ExtendedLengthPath(prefixed), prefixed);
}

TEST(ResultPath, NameAndFolderParts) {
  EXPECT_EQ(FileNamePart(u"C:\\dir\\sub\\a.txt"), u"a.txt");
  EXPECT_EQ(FileDirPart(u"C:\\dir\\sub\\a.txt"), u"C:\\dir\\sub");
  EXPECT_EQ(FileNamePart(u"C:\\a.txt"), u"a.txt");
  EXPECT_EQ(FileDirPart(u"C:\\a.txt"), u"C:\\");  // a drive root keeps its backslash
  EXPECT_EQ(FileDirPart(u"\\\\?\\C:\\a.txt"), u"\\\\?\\C:\\");
  EXPECT_EQ(FileDirPart(u"\\\\srv\\share\\a"), u"\\\\srv\\share");
  EXPECT_EQ(FileNamePart(u"C:\\dir\\"), u"");
  EXPECT_EQ(FileNamePart(u"name"), u"name");
  EXPECT_EQ(FileDirPart(u"name"), u"");
}

TEST(ResultPath, RelativeToFolder) {
  EXPECT_EQ(NameRelativeToFolder(u"C:\\Data\\sub\\file.txt", u"c:\\data\\"), u"sub\\file.txt");
  EXPECT_EQ(NameRelativeToFolder(u"C:\\Data\\file.txt", u"C:\\Data\\"), u"file.txt");
  // Only a leading folder is taken off; a name elsewhere stays whole.
  EXPECT_EQ(NameRelativeToFolder(u"D:\\x\\c:\\data\\", u"C:\\Data\\"), u"D:\\x\\c:\\data\\");
  EXPECT_EQ(NameRelativeToFolder(u"C:\\Database\\f", u"C:\\Data\\"), u"C:\\Database\\f");
  EXPECT_EQ(NameRelativeToFolder(u"C:\\f", u""), u"C:\\f");
  EXPECT_EQ(NameRelativeToFolder(u"C:\\", u"C:\\Data\\"), u"C:\\");
}

}  // namespace
