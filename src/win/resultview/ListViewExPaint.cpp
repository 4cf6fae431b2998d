// Painting of the result rows: the list paints every row itself (background, grid line,
// icon and texts) through custom draw; the control keeps selection, scrolling and hit-testing.
#include <windows.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <string>

#include "core/ResultRowLayout.h"
#include "win/common/WideText.h"
#include "win/resultview/ListViewEx.h"
#include "win/shell/ShellUtils.h"

namespace {

// Explorer's own row colours, for a visual style whose list view draws no item states.
constexpr COLORREF kHotFill = RGB(229, 243, 255);
constexpr COLORREF kSelectedFill = RGB(204, 232, 255);
constexpr COLORREF kSelectedFrame = RGB(153, 209, 255);
constexpr UINT kTextFlags = DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX;

int ScreenDpi(HDC dc) { return ::GetDeviceCaps(dc, LOGPIXELSY); }

TLayoutRect ToLayout(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const TLayoutRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

int TextWidth(HDC dc, const wchar_t* text, std::size_t length) {
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text, static_cast<int>(length), &size);
  return size.cx;
}

void DrawLine(HDC dc, const std::wstring& text, RECT r) {
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, kTextFlags);
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  const UniqueBrush brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &r, brush.get());
}

}  // namespace

LRESULT TListViewEx::CustomDraw(NMLVCUSTOMDRAW& cd) {
  switch (cd.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const auto index = static_cast<std::size_t>(cd.nmcd.dwItemSpec);
      if (index < FNodes.size()) {
        RECT row{};
        row.left = LVIR_BOUNDS;
        if (::SendMessageW(Handle(), LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&row))) {
          RECT client{};
          ::GetClientRect(Handle(), &client);
          row.left = client.left;
          row.right = std::max(row.right, client.right);
          PaintRow(cd.nmcd.hdc, index, row);
        }
      }
      return CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void TListViewEx::PaintRow(HDC dc, std::size_t index, const RECT& row) {
  const bool selected = ListView_GetItemState(Handle(), static_cast<int>(index), LVIS_SELECTED) != 0;
  PaintRowBackground(dc, row, selected, static_cast<int>(index) == FHotRow);
  {
    SelectObjectScope pen(dc, FGridPen.get());
    ::MoveToEx(dc, row.left, row.bottom - 1, nullptr);
    ::LineTo(dc, row.right, row.bottom - 1);
  }
  RECT content = row;
  content.left += ScaleLength(row_metrics::kContentLeft, ScreenDpi(dc));
  content.bottom -= 1;  // above the grid line
  ResolveOwnIcon(*FNodes[index]);
  ListViewDrawText(dc, *FNodes[index], content, selected);
}

void TListViewEx::PaintRowBackground(HDC dc, const RECT& row, bool selected, bool hot) {
  RECT band = row;
  band.bottom -= 1;
  FillSolid(dc, band, ListView_GetBkColor(Handle()));
  if (!selected && !hot) return;
  if (!::IsThemeActive()) {
    if (selected) ::FillRect(dc, &band, ::GetSysColorBrush(COLOR_HIGHLIGHT));
    return;
  }
  if (FTheme && ::IsThemePartDefined(FTheme.get(), LVP_LISTITEM, 0)) {
    const bool focused = ::GetFocus() == Handle();
    const int state = selected ? (hot ? LISS_HOTSELECTED : (focused ? LISS_SELECTED : LISS_SELECTEDNOTFOCUS))
                               : LISS_HOT;
    if (SUCCEEDED(::DrawThemeBackground(FTheme.get(), dc, LVP_LISTITEM, state, &band, nullptr))) return;
  }
  if (selected) {
    const UniqueBrush frame(::CreateSolidBrush(kSelectedFrame));
    FillSolid(dc, band, kSelectedFill);
    ::FrameRect(dc, &band, frame.get());
  } else {
    FillSolid(dc, band, kHotFill);
  }
}

COLORREF TListViewEx::ValueColor(bool selected) const {
  return selected && !::IsThemeActive() ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : ::GetSysColor(COLOR_WINDOWTEXT);
}

COLORREF TListViewEx::LabelColor(bool selected) const {
  return ::IsThemeActive() ? kDetailsLabelColor : ValueColor(selected);
}

void TListViewEx::ListViewDrawText(HDC dc, const TShellObjectData& d, const RECT& r, bool selected) {
  const int dpi = ScreenDpi(dc);
  const TLayoutRect content = ToLayout(r);
  int imageWidth = 0, imageHeight = 0;
  if (FSystemImages) ::ImageList_GetIconSize(FSystemImages, &imageWidth, &imageHeight);
  if (FFileIconTop == -1) FFileIconTop = IconTop({0, 0, content.Width(), content.Height()}, imageHeight);
  const TRowLayout layout = LayoutRow(content, d.IsFolder(), imageWidth, dpi);
  if (FSystemImages && d.ImageIndex >= 0)
    ::ImageList_Draw(FSystemImages, d.ImageIndex, dc, layout.IconLeft, r.top + FFileIconTop, ILD_TRANSPARENT);

  ::SetBkMode(dc, TRANSPARENT);
  {
    SelectObjectScope font(dc, FBaseFont.get());
    auto details = [&](const TDetailsColumn& column, const wchar_t* label, const std::wstring& value) {
      RECT c = ToRect(column.Rect);
      ::SetTextColor(dc, LabelColor(selected));
      DrawLine(dc, label, c);
      c.left += TextWidth(dc, label, wcslen(label)) + row_metrics::kLabelGap;
      ::SetTextColor(dc, ValueColor(selected));
      DrawLine(dc, value, c);
    };
    if (layout.DrawDate) details(layout.Date, kDateLabel, FormatModifyTime(d.ModifyTime));
    if (layout.DrawSize) details(layout.Size, kSizeLabel, FormatFileSize(d.FileSize));
  }

  const std::wstring name = W(d.FileName);
  {
    SelectObjectScope font(dc, FNameFont.get());
    ::SetTextColor(dc, ValueColor(selected));
    if (!d.Match.empty() && (::IsThemeActive() || !selected)) {
      const std::size_t at = FindMatchFolded(d.FileName, d.Match);
      if (at != std::u16string::npos) {
        // The box spans the name's own characters, which may differ in case from the query.
        const auto box = MatchBox(layout.Name, TextWidth(dc, name.c_str(), at),
                                  TextWidth(dc, name.c_str() + at, d.Match.size()), FNameTextHeight);
        if (box) {
          SelectObjectScope pen(dc, FMatchPen.get());
          SelectObjectScope brush(dc, FMatchBrush.get());
          ::RoundRect(dc, box->Left, box->Top, box->Right, box->Bottom, 2, 2);
        }
      }
    }
    DrawLine(dc, name, ToRect(layout.Name));
  }
  SelectObjectScope font(dc, FBaseFont.get());
  ::SetTextColor(dc, ValueColor(selected));
  DrawLine(dc, W(d.FileDir), ToRect(layout.Folder));
}
