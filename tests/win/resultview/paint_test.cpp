// Rows as they appear on the screen at the widths where the layout changes: which lines are
// drawn, and where the yellow match box is and is not. Each width is saved as
// resultview_rows_<width>.png beside the test program.
#include <gtest/gtest.h>

#include "ResultViewTestSupport.h"

#include <shellapi.h>
#include <uxtheme.h>

#include "core/DateTime.h"
#include "core/ResultRowLayout.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {

int Dpi() {
  WindowDc screen(nullptr);
  return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
}

TShellObjectData Row(const std::u16string& dir, const std::u16string& name, const std::u16string& match,
                     bool folder = false) {
  TShellObjectData d;
  d.FileName = name;
  d.FileDir = dir;
  d.FullPath = dir + u"\\" + name;
  d.Match = match;
  d.Attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  d.ModifyTime = EncodeDateTime({2024, 3, 15, 14, 25, 36, 0});
  d.FileSize = folder ? 0 : 1536000;
  d.ImageIndex = GetFileIconIndex(folder ? L"C:\\windows" : L"C:\\windows\\notepad.exe", SHGFI_SYSICONINDEX);
  return d;
}

enum RowKind { kMatched, kNoOccurrence, kFolder, kBoxAtEdge };

void FillRows(TListViewEx& list) {
  list.Append(Row(u"C:\\Users\\Ruvo\\Documents\\Reports", u"Quarterly Report 2024.xlsx", u"report"));
  list.Append(Row(u"C:\\Users\\Ruvo\\Documents", u"notes.txt", u"zzz"));
  list.Append(Row(u"D:\\Projects", u"Report archive", u"Report", true));
  list.Append(Row(u"C:\\Data",
                  u"a very long file name that runs all the way to the right edge of the row and beyond it "
                  u"so that its end is cut off, even on the widest of rows, where the name line stops at 924 pixels "
                  u"- report.txt",
                  u"report.txt"));
}

// Pixels in the rectangle that differ from the row's background.
int Ink(const TDibImage& shot, const RECT& r, COLORREF background) {
  int n = 0;
  for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, shot.Height()); ++y)
    for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, shot.Width()); ++x)
      n += !Near(PixelAt(shot, x, y), background, 24);
  return n;
}

int Exactly(const TDibImage& shot, const RECT& r, COLORREF colour) {
  int n = 0;
  for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, shot.Height()); ++y)
    for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, shot.Width()); ++x)
      n += PixelAt(shot, x, y) == colour;
  return n;
}

// The band of one text line inside a row's content rectangle, between left and right.
RECT Band(const RECT& content, int left, int right, int top, int height) {
  return RECT{left, content.top + top, right, content.top + top + height};
}

class RowPainting : public ::testing::TestWithParam<int> {};

TEST_P(RowPainting, LinesAndMatchBoxOnScreen) {
  const int w = GetParam();
  const int margin = ScaleLength(row_metrics::kContentLeft, Dpi());
  ListFixture fx(0, 0, w + margin, 260);
  TListViewEx& list = fx.List();
  FillRows(list);
  const TDibImage shot = CaptureClient(list.Handle());
  ASSERT_FALSE(shot.Empty());
  EXPECT_TRUE(SaveOpaquePng(shot, TestDirectory() + L"resultview_rows_" + std::to_wstring(w) + L".png"));

  const COLORREF bg = ::GetSysColor(COLOR_WINDOW);
  const int line = ScaleLength(15, Dpi());
  for (int kind : {kMatched, kNoOccurrence, kFolder, kBoxAtEdge}) {
    SCOPED_TRACE(kind);
    const RECT c = list.ContentRect(static_cast<std::size_t>(kind));
    ASSERT_EQ(c.right - c.left, w);
    const TLayoutRect r{c.left, c.top, c.right, c.bottom};
    const bool folder = kind == kFolder;
    const TDetailsColumn date = PlaceDetailsColumn(r, ScaleLength(row_metrics::kDateTop, Dpi()));
    const TDetailsColumn size = PlaceDetailsColumn(r, ScaleLength(row_metrics::kSizeTop, Dpi()));
    // The name and folder lines are always drawn.
    EXPECT_GT(Ink(shot, Band(c, c.left + 40, c.left + 120, ScaleLength(4, Dpi()), line), bg), 10);
    EXPECT_GT(Ink(shot, Band(c, c.left + 40, c.left + 120, ScaleLength(26, Dpi()), line), bg), 10);
    // The details column: date from 550, size (files only) from 460.
    // Where no line is drawn the name and folder lines may reach into the column: look
    // only to the right of the longest of those texts.
    const int clear = c.left + ScaleLength(300, Dpi());
    const int dateInk =
        Ink(shot, Band(c, std::max<int>(date.Rect.Left, clear), date.Rect.Right, ScaleLength(7, Dpi()), line), bg);
    const int sizeInk =
        Ink(shot, Band(c, std::max<int>(size.Rect.Left, clear), size.Rect.Right, ScaleLength(26, Dpi()), line), bg);
    if (w >= 550) {
      EXPECT_GT(dateInk, 10);
    } else if (kind != kBoxAtEdge) {  // that name's own text runs across the whole row
      EXPECT_EQ(dateInk, 0);
    }
    if (!folder && w >= 460) {
      EXPECT_GT(sizeInk, 10);
    } else {
      EXPECT_EQ(sizeInk, 0);
    }
    // The match box: only where the match occurs and the box stays clear of the edge.
    const RECT nameRow{c.left, c.top, c.right, c.top + ScaleLength(26, Dpi())};
    const int yellow = Exactly(shot, nameRow, TListViewEx::kMatchFillColor);
    if (kind == kMatched || kind == kFolder) {
      EXPECT_GT(yellow, 20);
      EXPECT_GT(Exactly(shot, nameRow, TListViewEx::kMatchFrameColor), 10);
    } else {
      EXPECT_EQ(yellow, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, RowPainting, ::testing::Values(400, 500, 700, 1100, 1300));

// With visual styles off a selected row is drawn in the selection colours, without a box.
class ThemesOff {
 public:
  ThemesOff() : was_(::IsThemeActive() != FALSE) {
    if (was_) ::EnableTheming(FALSE);
    Pump(100);
  }
  ~ThemesOff() {
    if (was_) ::EnableTheming(TRUE);
    Pump(100);
  }
  ThemesOff(const ThemesOff&) = delete;
  ThemesOff& operator=(const ThemesOff&) = delete;

 private:
  bool was_;
};

TEST(RowPaintingThemesOff, SelectedRowHasSelectionColoursAndNoBox) {
  ListFixture fx(0, 0, 760, 260);
  TListViewEx& list = fx.List();
  FillRows(list);
  ListView_SetItemState(list.Handle(), kMatched, LVIS_SELECTED, LVIS_SELECTED);
  const RECT c = list.ContentRect(kMatched);
  const RECT nameRow{c.left, c.top, c.right, c.top + ScaleLength(26, Dpi())};
  {
    const TDibImage themed = CaptureClient(list.Handle());
    if (::IsThemeActive()) {
      EXPECT_GT(Exactly(themed, nameRow, TListViewEx::kMatchFillColor), 20) << "themed: box on a selected row";
    }
  }
  ThemesOff off;
  ASSERT_FALSE(::IsThemeActive());
  const TDibImage shot = CaptureClient(list.Handle());
  EXPECT_TRUE(SaveOpaquePng(shot, TestDirectory() + L"resultview_themes_off.png"));
  EXPECT_EQ(Exactly(shot, nameRow, TListViewEx::kMatchFillColor), 0);
  // Selection background with text in the selection-text colour.
  const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
  const COLORREF highlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
  EXPECT_TRUE(Near(PixelAt(shot, c.right - 3, c.top + 3), highlight));
  EXPECT_GT(Exactly(shot, RECT{c.left + 40, c.top, c.left + 200, c.bottom}, highlightText), 10);
  // An unselected row keeps its box.
  const RECT other = list.ContentRect(kFolder);
  EXPECT_GT(Exactly(shot, RECT{other.left, other.top, other.right, other.top + ScaleLength(26, Dpi())},
                    TListViewEx::kMatchFillColor),
            20);
}

}  // namespace
