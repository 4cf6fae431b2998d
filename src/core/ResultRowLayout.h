#pragma once
// Where the parts of one result row go: icon, file-name line with its match box, folder line,
// and on wide rows the date and size lines at the right. Pure arithmetic on device pixels; the
// window side measures texts and draws into the rectangles given here.
#include <cstddef>
#include <optional>
#include <string_view>

struct TLayoutRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TLayoutRect&) const = default;
};

// Lengths of the row at 96 pixels per inch; ScaleLength turns them into device pixels.
namespace row_metrics {
constexpr int kRowHeight = 50;
constexpr int kContentLeft = 6;    // the list's margin left of a row's content rectangle
constexpr int kNameTop = 4;        // file-name line below the row's top
constexpr int kFolderTop = 26;     // folder line
constexpr int kDateTop = 7;        // date line in the details column
constexpr int kSizeTop = 26;       // size line in the details column
constexpr int kStatusLabelTop = 22;
constexpr int kIconGap = 5;        // between the icon and the texts
constexpr int kIconLeftShift = 2;  // the icon sits this far left of the content rectangle
constexpr int kRightMargin = 6;
constexpr int kLabelGap = 4;       // between a details label and its value
constexpr int kReserveGap = 36;    // kept free between a text line and the details column
constexpr int kDateMinWidth = 550;
constexpr int kSizeMinWidth = 460;
}  // namespace row_metrics

// MulDiv(n, pixelsPerInch, 96): rounded to the nearest pixel, halves away from zero.
int ScaleLength(int n, int pixelsPerInch);

// The details column of one line (date or size) for content rectangle r: the rectangle the
// label and value are drawn in, and the width the line reserves at the right of the row.
struct TDetailsColumn {
  TLayoutRect Rect;
  int Reserve = 0;
};
TDetailsColumn PlaceDetailsColumn(const TLayoutRect& r, int lineTop);

struct TRowLayout {
  int IconLeft = 0;
  bool DrawDate = false;
  bool DrawSize = false;
  TDetailsColumn Date;  // meaningful when DrawDate
  TDetailsColumn Size;  // meaningful when DrawSize
  TLayoutRect Name;     // file-name line
  TLayoutRect Folder;   // folder line
};
// The whole row for content rectangle r. Folders have no size line.
TRowLayout LayoutRow(const TLayoutRect& r, bool isFolder, int imageWidth, int pixelsPerInch);

// Top of the icon, centred in the row's height (truncating toward zero).
int IconTop(const TLayoutRect& r, int imageHeight);

// Position of the first occurrence of match in name with the ASCII letters of both folded
// to lower case; npos when there is none or match is empty.
std::size_t FindMatchFolded(std::u16string_view name, std::u16string_view match);

// The box around the matched text on the name line, from the width of the name before the
// occurrence, the width of the match and the line's text height. None when the box would
// reach the right edge of the name line.
std::optional<TLayoutRect> MatchBox(const TLayoutRect& name, int prefixWidth, int matchWidth,
                                    int textHeight);
