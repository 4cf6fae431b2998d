#include "win/controls/ImageButton.h"

#include <windowsx.h>

#include <string>

#include "win/common/WideText.h"

namespace {

constexpr wchar_t kImageButtonClass[] = L"RuvoImageButton";

UniqueFont DefaultGuiFont() {
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  return UniqueFont(::CreateFontIndirectW(&lf));
}

}  // namespace

TImageButton::TImageButton() : font_(DefaultGuiFont()), badgeFont_(DefaultGuiFont()) {}

TImageButton::~TImageButton() {
  *alive_ = false;
  DestroyHandle();
}

bool TImageButton::CreateIn(HWND parent, const RECT& bounds) {
  return CreateOwnWindow(kImageButtonClass, WS_CHILD | WS_CLIPSIBLINGS, 0, parent, bounds);
}

void TImageButton::Repaint() {
  if (HandleAllocated()) ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TImageButton::SetDown(bool down) {
  down_ = down;
  if (!Enabled()) {
    state_ = TButtonState::bsDisbled;
  } else if (type_ == TButtonType::btDown) {
    state_ = down_ ? TButtonState::bsDown : TButtonState::bsNormal;
  } else {
    down_ = false;
    state_ = TButtonState::bsNormal;
  }
  Repaint();
}

void TImageButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (HandleAllocated()) {
    ::EnableWindow(Handle(), enabled);  // WM_ENABLE settles the state
  } else if (!enabled) {
    state_ = TButtonState::bsDisbled;
  } else {
    SetDown(down_);
  }
}

void TImageButton::SetPngNormal(const TDibImage& picture) {
  pngNormal_ = picture;
  if (autoSize_) ResizeClient(pngNormal_.Width(), pngNormal_.Height());
  Repaint();
}

void TImageButton::SetAutoSize(bool value) {
  autoSize_ = value;
  if (autoSize_) ResizeClient(pngNormal_.Width(), pngNormal_.Height());
}

void TImageButton::ResizeClient(int width, int height) {
  if (!HandleAllocated() || width <= 0 || height <= 0) return;
  RECT rc{};
  ::GetClientRect(Handle(), &rc);
  if (rc.right == width && rc.bottom == height) return;
  ::SetWindowPos(Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::u16string TImageButton::Caption() const {
  if (!HandleAllocated()) return {};
  const int len = ::GetWindowTextLengthW(Handle());
  if (len <= 0) return {};
  std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(Handle(), text.data(), len + 1)));
  return U(text);
}

void TImageButton::SetCaption(std::u16string_view caption) {
  if (HandleAllocated()) ::SetWindowTextW(Handle(), W(caption).c_str());
  Repaint();
}

void TImageButton::SetFont(const LOGFONTW& font) {
  font_.reset(::CreateFontIndirectW(&font));
  Repaint();
}

void TImageButton::SetFontColor(COLORREF color) {
  fontColor_ = color;
  Repaint();
}

void TImageButton::SetBadgeNum(std::uint8_t value) {
  if (value == badgeNum_) return;
  badgeNum_ = value;
  Repaint();
}

void TImageButton::SetBadgeFont(const LOGFONTW& font) {
  badgeFont_.reset(::CreateFontIndirectW(&font));
  Repaint();
}

void TImageButton::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Repaint();
}

void TImageButton::SetEllipsisPosition(TEllipsisPosition value) {
  if (value == ellipsis_) return;
  ellipsis_ = value;
  Repaint();
}

void TImageButton::SetCaptionXOffset(int value) {
  if (value == captionXOffset_) return;
  captionXOffset_ = value;
  Repaint();
}

void TImageButton::SetCaptionYOffset(int value) {
  if (value == captionYOffset_) return;
  captionYOffset_ = value;
  Repaint();
}

// ---- painting ----

void TImageButton::Paint(HDC dc) {
  switch (state_) {
    case TButtonState::bsNormal: DrawPicture(dc, pngNormal_); break;
    case TButtonState::bsOver: DrawPicture(dc, pngOver_); break;
    case TButtonState::bsClick: DrawPicture(dc, pngClick_); break;
    case TButtonState::bsDown: DrawPicture(dc, pngDown_); break;
    case TButtonState::bsDisbled: DrawPicture(dc, pngDisable_); break;
  }
  DrawCaption(dc);
  DrawBadge(dc);
}

void TImageButton::DrawPicture(HDC dc, const TDibImage& picture) {
  if (picture.Empty()) return;
  if (autoSize_) ResizeClient(picture.Width(), picture.Height());
  picture.DrawBlended(dc, 0, preHeight_ ? preTop_ - Top() : 0);
}

void TImageButton::DrawCaption(HDC dc) {
  const std::u16string caption = Caption();
  if (caption.empty()) return;
  RECT r{};
  ::GetClientRect(Handle(), &r);
  if (preHeight_) {  // the badge enlarged the button: the caption keeps the old area
    r.top = preTop_ - Top();
    r.right = r.left + preWidth_;
    r.bottom = r.top + preHeight_;
  }
  ::OffsetRect(&r, captionXOffset_, captionYOffset_);
  if (state_ == TButtonState::bsClick && OffsetClick) ::OffsetRect(&r, 1, 1);
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  switch (alignment_) {
    case TAlignment::taLeftJustify: flags |= DT_LEFT; break;
    case TAlignment::taRightJustify: flags |= DT_RIGHT; break;
    case TAlignment::taCenter: flags |= DT_CENTER; break;
  }
  switch (ellipsis_) {
    case TEllipsisPosition::epNone: break;
    case TEllipsisPosition::epPathEllipsis: flags |= DT_PATH_ELLIPSIS; break;
    case TEllipsisPosition::epEndEllipsis: flags |= DT_END_ELLIPSIS; break;
    case TEllipsisPosition::epWordEllipsis: flags |= DT_WORD_ELLIPSIS; break;
  }
  SelectObjectScope sel(dc, font_.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, mouseInControl_ && OverFontColor != kClNone ? OverFontColor : fontColor_);
  std::wstring text = W(caption);
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, flags);
}

void TImageButton::DrawBadge(HDC dc) {
  if (pngBadge_.Empty() || badgeNum_ == 0) {
    if (preHeight_) {
      // Back to the bounds the button had before the badge.
      RECT b = BoundsRect();
      ::SetWindowPos(Handle(), nullptr, b.left, preTop_, preWidth_, preHeight_, SWP_NOZORDER | SWP_NOACTIVATE);
      preTop_ = preWidth_ = preHeight_ = 0;
    }
    return;
  }
  if (!preHeight_) {
    // Room for the badge above and to the right; the remembered bounds come back without it.
    RECT b = BoundsRect();
    preTop_ = b.top;
    preWidth_ = b.right - b.left;
    preHeight_ = b.bottom - b.top;
    ::SetWindowPos(Handle(), nullptr, b.left, b.top - 8, preWidth_ + 2, preHeight_ + 8,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT rc{};
  ::GetClientRect(Handle(), &rc);
  RECT badge{rc.right - pngBadge_.Width(), 0, rc.right, pngBadge_.Height()};
  pngBadge_.DrawBlended(dc, badge.left, badge.top, 100);
  SelectObjectScope sel(dc, badgeFont_.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fontColor_);
  std::wstring num = std::to_wstring(badgeNum_);
  ::DrawTextW(dc, num.data(), static_cast<int>(num.size()), &badge, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

// ---- mouse ----

void TImageButton::MouseEnter() {
  if (!Enabled() || state_ == TButtonState::bsOver) return;
  state_ = TButtonState::bsOver;
  mouseInControl_ = true;
  Repaint();
  if (OnMouseEnter) OnMouseEnter(*this);
}

void TImageButton::MouseLeave() {
  if (!Enabled()) return;
  if (type_ == TButtonType::btNone) {
    if (state_ == TButtonState::bsNormal) return;
    state_ = TButtonState::bsNormal;
  } else {
    if (state_ == TButtonState::bsDown) return;
    state_ = down_ ? TButtonState::bsDown : TButtonState::bsNormal;
  }
  mouseInControl_ = false;
  Repaint();
  if (OnMouseLeave) OnMouseLeave(*this);
}

void TImageButton::MouseDown(TMouseButton button, WPARAM keys, LPARAM pos) {
  if (button == TMouseButton::mbLeft) pressed_ = true;
  ::SetCapture(Handle());
  if (OnMouseDown) {
    auto alive = alive_;
    OnMouseDown(*this, button, keys, GET_X_LPARAM(pos), GET_Y_LPARAM(pos));
    if (!*alive) return;
  }
  if (state_ != TButtonState::bsClick) {
    state_ = TButtonState::bsClick;
    Repaint();
  }
}

void TImageButton::MouseUp(TMouseButton button, WPARAM keys, LPARAM pos) {
  auto alive = alive_;
  RECT rc{};
  ::GetClientRect(Handle(), &rc);
  const POINT pt{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
  const bool click = button == TMouseButton::mbLeft && pressed_ && ::PtInRect(&rc, pt);
  if (button == TMouseButton::mbLeft) pressed_ = false;
  if (::GetCapture() == Handle()) ::ReleaseCapture();
  // The click comes before the release's own handling.
  if (click) {
    Click();
    if (!*alive || !HandleAllocated()) return;
  }
  if (OnMouseUp) {
    OnMouseUp(*this, button, keys, pt.x, pt.y);
    if (!*alive || !HandleAllocated()) return;
  }
  mouseInControl_ = false;
  if (type_ == TButtonType::btNone) {
    state_ = TButtonState::bsOver;
  } else if (down_) {
    state_ = TButtonState::bsDown;
  }
  Repaint();
  CheckPointer();
}

void TImageButton::Click() {
  SetDown(!down_);
  ReleaseGroup();
  if (OnClick) OnClick(*this);
}

void TImageButton::ReleaseGroup() {
  if (GroupIndex == 0 || !HandleAllocated()) return;
  HWND parent = ::GetParent(Handle());
  if (!parent) return;
  for (HWND w = ::GetWindow(parent, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == Handle()) continue;
    if (auto* other = dynamic_cast<TImageButton*>(FromHandle(w))) other->SetDown(false);
  }
}

void TImageButton::CheckPointer() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  if (::WindowFromPoint(cursor) == Handle()) {
    mouseInControl_ = false;
    MouseEnter();
    mouseInControl_ = true;
  } else {
    mouseInControl_ = true;
    MouseLeave();
  }
}

LRESULT TImageButton::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      // The pictures' alpha blends with the parent's picture.
      PaintOverParent([this](HDC dc) { Paint(dc); });
      return 0;
    case WM_PRINTCLIENT: {  // painting into a picture of the window (WM_PRINT)
      HDC dc = reinterpret_cast<HDC>(wp);
      DrawParentBackground(Handle(), dc);
      Paint(dc);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      // Only the first move after the pointer came in is an enter; later moves (also while
      // pressed) leave the state alone.
      if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, Handle(), 0};
        tracking_ = ::TrackMouseEvent(&tme) != FALSE;
        MouseEnter();
      }
      if (OnMouseMove && HandleAllocated()) OnMouseMove(*this, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      MouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      MouseDown(TMouseButton::mbLeft, wp, lp);
      return 0;
    case WM_RBUTTONDOWN:
      MouseDown(TMouseButton::mbRight, wp, lp);
      return 0;
    case WM_MBUTTONDOWN:
      MouseDown(TMouseButton::mbMiddle, wp, lp);
      return 0;
    case WM_LBUTTONDBLCLK: {
      auto alive = alive_;
      MouseDown(TMouseButton::mbLeft, wp, lp);
      if (*alive && OnDblClick) OnDblClick(*this);
      return 0;
    }
    case WM_LBUTTONUP:
      MouseUp(TMouseButton::mbLeft, wp, lp);
      return 0;
    case WM_RBUTTONUP:
      MouseUp(TMouseButton::mbRight, wp, lp);
      return 0;
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::mbMiddle, wp, lp);
      return 0;
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    case WM_ENABLE:
      enabled_ = wp != 0;
      if (wp) {
        SetDown(down_);
      } else {
        state_ = TButtonState::bsDisbled;
        Repaint();
      }
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefaultProc(msg, wp, lp);
      Repaint();
      return r;
    }
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}
