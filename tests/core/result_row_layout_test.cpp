#include "core/ResultRowLayout.h"

#include <gtest/gtest.h>

namespace {

constexpr int kIcon = 32;

TLayoutRect Row(int width) { return {10, 100, 10 + width, 150}; }

TEST(ScaleLength, RoundsLikeMulDiv) {
  EXPECT_EQ(ScaleLength(50, 96), 50);
  EXPECT_EQ(ScaleLength(50, 120), 63);  // 62.5 rounds up
  EXPECT_EQ(ScaleLength(7, 144), 11);   // 10.5 rounds up
  EXPECT_EQ(ScaleLength(26, 144), 39);
  EXPECT_EQ(ScaleLength(22, 72), 17);   // 16.5
  EXPECT_EQ(ScaleLength(-7, 144), -11);  // halves away from zero
  EXPECT_EQ(ScaleLength(4, 0), 0);
}

struct ColumnCase {
  int width;
  int left;     // C.Left
  int reserve;  // E
};

class DetailsColumnTable : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(DetailsColumnTable, LeftAndReserve) {
  const ColumnCase& c = GetParam();
  const TLayoutRect r = Row(c.width);
  const TDetailsColumn d = PlaceDetailsColumn(r, 7);
  EXPECT_EQ(d.Rect.Left, c.left);
  EXPECT_EQ(d.Reserve, c.reserve);
  EXPECT_EQ(d.Rect.Top, 107);
  EXPECT_EQ(d.Rect.Right, r.Right - 6);
  EXPECT_EQ(d.Rect.Bottom, 150);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, DetailsColumnTable,
    ::testing::Values(ColumnCase{400, 410 - 252 + 60, 252 - 100},  // (1000-400)/10, /6
                      ColumnCase{460, 470 - 252 + 54, 252 - 90}, ColumnCase{549, 559 - 252 + 45, 252 - 75},
                      ColumnCase{550, 560 - 252 + 45, 252 - 75},
                      ColumnCase{999, 1009 - 252, 252},  // 1/10 and 1/6 truncate to 0
                      ColumnCase{994, 1004 - 252, 252 - 1}, ColumnCase{1000, 1010 - 252, 252},
                      ColumnCase{1199, 1209 - 252, 252}, ColumnCase{1200, 970, 240}, ColumnCase{1300, 970, 340},
                      ColumnCase{3, 13 - 252 + 99, 252 - 166}));

struct RowCase {
  int width;
  bool folder;
  bool date, size;
  int nameRight, folderRight;
};

class RowLayoutTable : public ::testing::TestWithParam<RowCase> {};

TEST_P(RowLayoutTable, LinesAndRectangles) {
  const RowCase& c = GetParam();
  const TLayoutRect r = Row(c.width);
  const TRowLayout l = LayoutRow(r, c.folder, kIcon, 96);
  EXPECT_EQ(l.DrawDate, c.date);
  EXPECT_EQ(l.DrawSize, c.size);
  EXPECT_EQ(l.IconLeft, 8);
  EXPECT_EQ(l.Name, (TLayoutRect{10 + kIcon + 5, 104, c.nameRight, 150}));
  EXPECT_EQ(l.Folder, (TLayoutRect{10 + kIcon + 5, 126, c.folderRight, 150}));
  if (c.date) {
    EXPECT_EQ(l.Date.Rect.Top, 107);
  }
  if (c.size) {
    EXPECT_EQ(l.Size.Rect.Top, 126);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Widths, RowLayoutTable,
    ::testing::Values(
        // Below 460: icon, name and folder only.
        RowCase{400, false, false, false, 404, 404}, RowCase{459, false, false, false, 463, 463},
        // 460..549: the size line for files, which keeps the folder line clear of it.
        RowCase{460, false, false, true, 464, 470 - 6 - (162 + 36)}, RowCase{500, true, false, false, 504, 504},
        RowCase{500, false, false, true, 504, 510 - 6 - (169 + 36)},
        // From 550: the date line too, keeping the name line clear of it.
        RowCase{550, false, true, true, 560 - 6 - (177 + 36), 560 - 6 - (177 + 36)},
        RowCase{700, true, true, false, 710 - 6 - (202 + 36), 704},
        RowCase{1100, false, true, true, 1110 - 6 - 288, 1110 - 6 - 288},
        // From 1200 the column stays 960 from the left, so the texts keep their width.
        RowCase{1200, false, true, true, 928, 928}, RowCase{1300, false, true, true, 928, 928}));

TEST(RowLayout, ScaledOffsets) {
  const TLayoutRect r = Row(1100);
  const TRowLayout l = LayoutRow(r, false, 48, 144);
  EXPECT_EQ(l.Name.Top, 106);
  EXPECT_EQ(l.Folder.Top, 139);
  EXPECT_EQ(l.Date.Rect.Top, 111);
  EXPECT_EQ(l.Size.Rect.Top, 139);
  EXPECT_EQ(l.Name.Left, 10 + 48 + 5);
}

TEST(RowLayout, IconCentredTruncating) {
  EXPECT_EQ(IconTop({0, 100, 10, 150}, 32), 109);
  EXPECT_EQ(IconTop({0, 100, 10, 151}, 32), 109);  // 19 / 2
  EXPECT_EQ(IconTop({0, 100, 10, 120}, 32), 94);   // -12 / 2: an icon taller than the row
  EXPECT_EQ(IconTop({0, 100, 10, 119}, 32), 94);   // -13 / 2 truncates toward zero
}

struct FindCase {
  const char16_t* name;
  const char16_t* match;
  std::size_t at;
};

class FindMatchTable : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindMatchTable, FirstOccurrenceAsciiFolded) {
  EXPECT_EQ(FindMatchFolded(GetParam().name, GetParam().match), GetParam().at);
}

constexpr std::size_t npos = std::u16string_view::npos;
INSTANTIATE_TEST_SUITE_P(Cases, FindMatchTable,
                         ::testing::Values(FindCase{u"Notes.TXT", u"notes.txt", 0}, FindCase{u"abcABC", u"Bc", 1},
                                           FindCase{u"report report", u"REPORT", 0},
                                           FindCase{u"xxabbcxx", u"ac", npos},
                                           FindCase{u"\u00C4rger", u"\u00E4rger", npos},  // only ASCII folds
                                           FindCase{u"\u00C4rger", u"\u00C4R", 0}, FindCase{u"abc", u"", npos},
                                           FindCase{u"ab", u"abc", npos}, FindCase{u"", u"a", npos},
                                           FindCase{u"a.b.c", u".C", 3}));

struct BoxCase {
  int prefix, match, height;
  bool drawn;
};

class MatchBoxTable : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MatchBoxTable, DrawnOnlyClearOfTheRightEdge) {
  const BoxCase& c = GetParam();
  const TLayoutRect name{47, 104, 404, 150};
  const auto box = MatchBox(name, c.prefix, c.match, c.height);
  ASSERT_EQ(box.has_value(), c.drawn);
  if (c.drawn) {
    EXPECT_EQ(*box, (TLayoutRect{47 + c.prefix, 104, 47 + c.prefix + c.match, 104 + c.height}));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MatchBoxTable,
                         ::testing::Values(BoxCase{20, 30, 16, true}, BoxCase{0, 356, 16, true},
                                           BoxCase{0, 357, 16, false},  // reaches N.Right
                                           BoxCase{300, 100, 16, false}, BoxCase{0, 0, 16, true}));

}  // namespace
