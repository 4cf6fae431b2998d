#include "core/ResultRowLayout.h"

#include <cstdint>

namespace rm = row_metrics;

int ScaleLength(int n, int pixelsPerInch) {
  const std::int64_t product = static_cast<std::int64_t>(n) * pixelsPerInch;
  const std::int64_t half = 48;
  return static_cast<int>(product >= 0 ? (product + half) / 96 : (product - half) / 96);
}

TDetailsColumn PlaceDetailsColumn(const TLayoutRect& r, int lineTop) {
  const int w = r.Width();
  TDetailsColumn d;
  if (w >= 1200) {
    d.Rect.Left = r.Left + 960;
    d.Reserve = w - 960;
  } else if (w >= 1000) {
    d.Rect.Left = r.Right - 252;
    d.Reserve = 252;
  } else {
    // Narrower rows pull the column in more slowly than they shrink its reserve.
    d.Rect.Left = r.Right - 252 + (1000 - w) / 10;
    d.Reserve = 252 - (1000 - w) / 6;
  }
  d.Rect.Top = r.Top + lineTop;
  d.Rect.Right = r.Right - rm::kRightMargin;
  d.Rect.Bottom = r.Bottom;
  return d;
}

TRowLayout LayoutRow(const TLayoutRect& r, bool isFolder, int imageWidth, int pixelsPerInch) {
  TRowLayout l;
  l.IconLeft = r.Left - rm::kIconLeftShift;
  const int w = r.Width();
  int dateReserve = 0, sizeReserve = 0;
  if (w >= rm::kDateMinWidth) {
    l.DrawDate = true;
    l.Date = PlaceDetailsColumn(r, ScaleLength(rm::kDateTop, pixelsPerInch));
    dateReserve = l.Date.Reserve + rm::kReserveGap;
  }
  if (!isFolder && w >= rm::kSizeMinWidth) {
    l.DrawSize = true;
    l.Size = PlaceDetailsColumn(r, ScaleLength(rm::kSizeTop, pixelsPerInch));
    sizeReserve = l.Size.Reserve + rm::kReserveGap;
  }
  const int textLeft = r.Left + imageWidth + rm::kIconGap;
  l.Name = {textLeft, r.Top + ScaleLength(rm::kNameTop, pixelsPerInch), r.Right - (rm::kRightMargin + dateReserve),
            r.Bottom};
  l.Folder = {textLeft, r.Top + ScaleLength(rm::kFolderTop, pixelsPerInch),
              r.Right - (rm::kRightMargin + sizeReserve), r.Bottom};
  return l;
}

int IconTop(const TLayoutRect& r, int imageHeight) { return r.Top + (r.Height() - imageHeight) / 2; }

namespace {
char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
}  // namespace

std::size_t FindMatchFolded(std::u16string_view name, std::u16string_view match) {
  if (match.empty() || match.size() > name.size()) return std::u16string_view::npos;
  for (std::size_t i = 0; i + match.size() <= name.size(); ++i) {
    std::size_t k = 0;
    while (k < match.size() && FoldAscii(name[i + k]) == FoldAscii(match[k])) ++k;
    if (k == match.size()) return i;
  }
  return std::u16string_view::npos;
}

std::optional<TLayoutRect> MatchBox(const TLayoutRect& name, int prefixWidth, int matchWidth, int textHeight) {
  const int x1 = name.Left + prefixWidth;
  const int x2 = x1 + matchWidth;
  if (x2 >= name.Right) return std::nullopt;
  return TLayoutRect{x1, name.Top, x2, name.Top + textHeight};
}
