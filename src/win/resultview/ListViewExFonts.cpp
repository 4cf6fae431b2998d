// Fonts of the rows and of the status label, taken from the visual theme when there is one.
#include <windows.h>
#include <uxtheme.h>
#include <vssym32.h>

#include "win/resultview/ListViewEx.h"

namespace {
constexpr int kFileNameGrowth = 3;  // the file-name line is this many pixels taller
}  // namespace

void TListViewEx::UpdateThemeFonts() {
  auto listFont = reinterpret_cast<HFONT>(::SendMessageW(Handle(), WM_GETFONT, 0, 0));
  if (!listFont) listFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW font{};
  {
    const UniqueTheme textStyle(::OpenThemeData(nullptr, L"TEXTSTYLE"));
    if (textStyle && SUCCEEDED(::GetThemeFont(textStyle.get(), nullptr, TEXT_LABEL, 0, TMT_FONT, &font))) {
      FLabelFont.reset(::CreateFontIndirectW(&font));
      FStatusLabel.SetFont(FLabelFont.get());
      FStatusLabel.TextColor = ::IsThemeActive() ? kDetailsLabelColor : ::GetSysColor(COLOR_WINDOWTEXT);
    } else if (!FLabelFont) {
      // Without a theme the label writes in the list's own font and colour.
      FStatusLabel.SetFont(listFont);
      FStatusLabel.TextColor = ::GetSysColor(COLOR_WINDOWTEXT);
    }
  }

  ::GetObjectW(listFont, sizeof FBaseLogFont, &FBaseLogFont);
  {
    const UniqueTheme listView(::OpenThemeData(nullptr, L"LISTVIEW"));
    if (listView) ::GetThemeFont(listView.get(), nullptr, LVP_GROUPHEADER, 0, TMT_FONT, &FBaseLogFont);
  }
  if (FBaseLogFont.lfHeight == 0) {
    // A theme may give the default height as 0; the name line grows from the real one.
    const UniqueFont probe(::CreateFontIndirectW(&FBaseLogFont));
    WindowDc dc(Handle());
    SelectObjectScope select(dc.get(), probe.get());
    TEXTMETRICW tm{};
    if (::GetTextMetricsW(dc.get(), &tm)) FBaseLogFont.lfHeight = -(tm.tmHeight - tm.tmInternalLeading);
  }
  FFileNameLogFont = FBaseLogFont;
  // Grow the character height whichever way the font gives it (negative: character height,
  // positive: cell height).
  if (FFileNameLogFont.lfHeight > 0)
    FFileNameLogFont.lfHeight += kFileNameGrowth;
  else
    FFileNameLogFont.lfHeight -= kFileNameGrowth;

  FBaseFont.reset(::CreateFontIndirectW(&FBaseLogFont));
  FNameFont.reset(::CreateFontIndirectW(&FFileNameLogFont));
  WindowDc dc(Handle());
  SelectObjectScope select(dc.get(), FNameFont.get());
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), L"0", 1, &size);
  FNameTextHeight = size.cy;
}

void TListViewEx::WMThemeChanged() {
  FTheme.reset(::OpenThemeData(Handle(), L"LISTVIEW"));
  UpdateThemeFonts();
  Invalidate();
}
