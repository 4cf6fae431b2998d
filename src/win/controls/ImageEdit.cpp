#include "win/controls/ImageEdit.h"

#include <uxtheme.h>

#include "win/common/WideText.h"

namespace {

constexpr wchar_t kImageEditClass[] = L"RuvoImageEdit";
constexpr int kRebarBandPart = 3;  // RP_BAND
constexpr int kThemeFontProp = 210;  // TMT_FONT

std::wstring WindowText(HWND wnd) {
  const int len = ::GetWindowTextLengthW(wnd);
  if (len <= 0) return {};
  std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(wnd, text.data(), len + 1)));
  return text;
}

// Clipboard text, closed again on every path.
std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!::IsClipboardFormatAvailable(CF_UNICODETEXT)) return text;
  const ClipboardScope clipboard(owner);
  if (!clipboard.Opened()) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    const SIZE_T bytes = ::GlobalSize(data);
    const GlobalLockScope locked(data);
    if (const auto* chars = static_cast<const wchar_t*>(locked.get())) {
      const std::size_t max = bytes / sizeof(wchar_t);
      std::size_t n = 0;
      while (n < max && chars[n] != L'\0') ++n;  // the block need not be terminated
      text.assign(chars, n);
    }
  }
  return text;
}

}  // namespace

// ---- TEdit ----

bool TEdit::CreateIn(HWND parent, int width, int height) {
  // ES_AUTOHSCROLL: scroll instead of wrapping, so the multi-line edit behaves as one line.
  // WS_CLIPCHILDREN: the edit's own drawing leaves the close button inside it alone.
  if (!CreateStandardWindow(L"EDIT", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL, 0, parent,
                            RECT{0, 0, width, height})) {
    return false;
  }
  UpdateTextRect();
  return true;
}

void TEdit::UpdateTextRect() {
  HWND wnd = Handle();
  if (!wnd) return;
  TEXTMETRICW tm{};
  {
    WindowDc screen(nullptr);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
    SelectObjectScope sel(screen.get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    ::GetTextMetricsW(screen.get(), &tm);
  }
  RECT r{};
  ::GetClientRect(wnd, &r);
  // A borderless edit: the text starts 3 pixels in and has no frame to leave out.
  constexpr int kFrame = 0;
  r.left += 3;
  r.left += FOwner.FTextXOffset;
  r.top = (r.bottom - tm.tmHeight - kFrame) / 2;
  ::SendMessageW(wnd, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
}

LRESULT TEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CHAR:
      return OnChar(wp, lp);
    case WM_PASTE:
      PasteAsOneLine();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT r = DefaultProc(msg, wp, lp);
      Invalidate();
      return r;
    }
    case WM_ERASEBKGND:
      DrawParentBackground(Handle(), reinterpret_cast<HDC>(wp));
      return 1;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CONTEXTMENU:
      if (FOwner.DisableRightClick) return 1;
      break;
    case WM_SIZE: {
      LRESULT r = DefaultProc(msg, wp, lp);
      UpdateTextRect();
      return r;
    }
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}

LRESULT TEdit::OnChar(WPARAM wp, LPARAM lp) {
  auto key = static_cast<wchar_t>(wp);
  if (FOwner.OnKeyPress) FOwner.OnKeyPress(FOwner, key);
  if (key == L'\r') {
    // Never a line break; the owner hears Enter. The handler may free the control, so
    // nothing of it is touched afterwards.
    if (FOwner.OnEnterPress) FOwner.OnEnterPress(FOwner);
    return 0;
  }
  if (key == L'\n' || key == 0) return 0;  // Ctrl+Enter would add a line break too
  LRESULT r = DefaultProc(WM_CHAR, key, lp);
  if (key == 27 && FOwner.OnEscPress) FOwner.OnEscPress(FOwner);
  return r;
}

void TEdit::PasteAsOneLine() {
  std::wstring text = ClipboardText(Handle());
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  ::SendMessageW(Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TEdit::OnPaint() {
  // The edit's transparent text over the parent's picture, composed off screen so typing
  // does not flicker between the two.
  PaintOverParent([this](HDC dc) { DefaultProc(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0); });
}

// ---- TImageEdit ----

TImageEdit::TImageEdit() : FEdit(*this) {
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  FFont.reset(::CreateFontIndirectW(&lf));
}

TImageEdit::~TImageEdit() { DestroyHandle(); }

bool TImageEdit::CreateWindowIn(HWND parent) {
  if (!CreateOwnWindow(kImageEditClass, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, parent,
                       RECT{0, 0, kDefaultWidth, kDefaultHeight})) {
    return false;
  }
  // The inner edit exists with the control's window, also under a window of another process.
  if (!FEdit.CreateIn(Handle(), kDefaultWidth, kDefaultHeight)) {
    DestroyHandle();
    return false;
  }
  ApplyEditFont();
  return true;
}

bool TImageEdit::SetParentWindow(HWND parent) {
  HWND wnd = Handle();
  if (!wnd) return parent ? CreateWindowIn(parent) : true;
  if (!parent) {
    ::ShowWindow(wnd, SW_HIDE);
    const LONG_PTR style = ::GetWindowLongPtrW(wnd, GWL_STYLE);
    ::SetWindowLongPtrW(wnd, GWL_STYLE, (style & ~WS_CHILD) | WS_POPUP);
    ::SetParent(wnd, nullptr);
    return true;
  }
  const LONG_PTR style = ::GetWindowLongPtrW(wnd, GWL_STYLE);
  ::SetWindowLongPtrW(wnd, GWL_STYLE, (style & ~WS_POPUP) | WS_CHILD);
  return ::SetParent(wnd, parent) != nullptr;
}

HWND TImageEdit::ParentWindow() const {
  HWND wnd = Handle();
  if (!wnd || !(::GetWindowLongPtrW(wnd, GWL_STYLE) & WS_CHILD)) return nullptr;
  return ::GetParent(wnd);
}

void TImageEdit::SetFocus() {
  if (HandleAllocated()) ::SetFocus(Handle());
}

std::u16string TImageEdit::Text() const {
  if (!FEdit.HandleAllocated()) return {};
  return U(WindowText(FEdit.Handle()));
}

void TImageEdit::SetText(std::u16string_view text) {
  if (!FEdit.HandleAllocated()) return;
  if (Text() == text) return;
  // The edit's own change notice for WM_SETTEXT differs between single- and multi-line
  // edits; one change is raised here instead.
  FSettingText = true;
  ::SetWindowTextW(FEdit.Handle(), W(text).c_str());
  FSettingText = false;
  FEdit.Invalidate();
  EditChange();
}

void TImageEdit::SetBackground(const TDibImage& picture) {
  FBackground = picture;
  // A window without area never paints, so it takes the picture's size now.
  if (HandleAllocated() && !FBackground.Empty() && (Width() <= 0 || Height() <= 0)) {
    ::SetWindowPos(Handle(), nullptr, 0, 0, FBackground.Width(), FBackground.Height(),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Invalidate();
}

void TImageEdit::SetTextXOffset(int offset) {
  if (offset == FTextXOffset) return;
  FTextXOffset = offset;
  FEdit.UpdateTextRect();
  FEdit.Invalidate();
}

void TImageEdit::SetUseExplorerFont(bool value) {
  if (value == FUseExplorerFont) return;
  FUseExplorerFont = value;
  ApplyEditFont();
}

void TImageEdit::SetFont(const LOGFONTW& font) {
  FFont.reset(::CreateFontIndirectW(&font));
  ApplyEditFont();
}

void TImageEdit::ApplyEditFont() {
  LOGFONTW lf{};
  ::GetObjectW(FFont ? static_cast<HGDIOBJ>(FFont.get()) : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  if (FUseExplorerFont) {
    if (const UniqueTheme theme(::OpenThemeData(nullptr, L"REBAR")); theme)
      ::GetThemeFont(theme.get(), nullptr, kRebarBandPart, 0, kThemeFontProp, &lf);
  }
  UniqueFont font(::CreateFontIndirectW(&lf));
  if (FEdit.HandleAllocated()) {
    ::SendMessageW(FEdit.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    FEdit.UpdateTextRect();
  }
  // The edit holds the new font before the old one is deleted.
  FEditFont = std::move(font);
}

void TImageEdit::EditChange() {
  if (OnChange) OnChange(*this);
}

void TImageEdit::PaintTo(HDC dc, bool allowResize) {
  RECT rc{};
  ::GetClientRect(Handle(), &rc);
  if (!FBackground.Empty()) {
    if (allowResize && (rc.right != FBackground.Width() || rc.bottom != FBackground.Height())) {
      ::SetWindowPos(Handle(), nullptr, 0, 0, FBackground.Width(), FBackground.Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FBackground.Draw(dc, 0, 0);
    ::ExcludeClipRect(dc, 0, 0, FBackground.Width(), FBackground.Height());
  }
  ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
}

LRESULT TImageEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      const PaintScope paint(Handle());
      const int saved = ::SaveDC(paint.get());
      PaintTo(paint.get(), true);
      ::RestoreDC(paint.get(), saved);
      return 0;
    }
    case WM_PRINTCLIENT: {
      HDC dc = reinterpret_cast<HDC>(wp);
      const int saved = ::SaveDC(dc);
      PaintTo(dc, false);
      ::RestoreDC(dc, saved);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_SETFOCUS:
      if (FEdit.HandleAllocated()) ::SetFocus(FEdit.Handle());
      return 0;
    case WM_SIZE:
      if (FEdit.HandleAllocated()) FEdit.SetBounds(0, 0, LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lp) == FEdit.Handle() && FEdit.HandleAllocated() && HIWORD(wp) == EN_CHANGE) {
        // Transparent text leaves old glyphs behind unless the whole edit is redrawn.
        FEdit.Invalidate();
        if (!FSettingText) EditChange();
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lp) == FEdit.Handle() && FEdit.HandleAllocated()) {
        DefaultProc(msg, wp, lp);
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
      }
      break;
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}
