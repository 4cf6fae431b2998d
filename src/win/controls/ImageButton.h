#pragma once
// A button drawn entirely from pictures, one per visual state, blended by their alpha over
// whatever its parent shows beneath; with an optional caption and an optional numeric badge.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "win/common/Handle.h"
#include "win/controls/DibImage.h"
#include "win/controls/WinControl.h"

enum class TButtonState { bsNormal, bsOver, bsClick, bsDown, bsDisbled };
enum class TButtonType { btNone, btDown };  // push button, or one that stays down after a click
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TEllipsisPosition { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

class TImageButton : public TWinControl {
 public:
  TImageButton();
  ~TImageButton() override;

  // Creates the button's window, hidden, as a child of `parent` with those bounds.
  bool CreateIn(HWND parent, const RECT& bounds);

  static constexpr COLORREF kClNone = 0x1FFFFFFF;  // "no colour": OverFontColor leaves the font's

  TButtonState ButtonState() const { return state_; }
  TButtonType ButtonType() const { return type_; }
  void SetButtonType(TButtonType type) { type_ = type; }
  bool Down() const { return down_; }
  void SetDown(bool down);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool MouseInControl() const { return mouseInControl_; }

  // Picture setters copy the picture. A new normal picture repaints (and, with AutoSize,
  // sizes the button to it).
  const TDibImage& PngNormal() const { return pngNormal_; }
  const TDibImage& PngOver() const { return pngOver_; }
  const TDibImage& PngClick() const { return pngClick_; }
  const TDibImage& PngDown() const { return pngDown_; }
  const TDibImage& PngDisable() const { return pngDisable_; }
  const TDibImage& PngBadge() const { return pngBadge_; }
  void SetPngNormal(const TDibImage& picture);
  void SetPngOver(const TDibImage& picture) { pngOver_ = picture; }
  void SetPngClick(const TDibImage& picture) { pngClick_ = picture; }
  void SetPngDown(const TDibImage& picture) { pngDown_ = picture; }
  void SetPngDisable(const TDibImage& picture) { pngDisable_ = picture; }
  void SetPngBadge(const TDibImage& picture) { pngBadge_ = picture; }

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);

  std::u16string Caption() const;
  void SetCaption(std::u16string_view caption);
  HFONT Font() const { return font_.get(); }
  void SetFont(const LOGFONTW& font);
  COLORREF FontColor() const { return fontColor_; }
  void SetFontColor(COLORREF color);
  COLORREF OverFontColor = kClNone;

  std::uint8_t BadgeNum() const { return badgeNum_; }
  void SetBadgeNum(std::uint8_t value);
  HFONT BadgeFont() const { return badgeFont_.get(); }
  void SetBadgeFont(const LOGFONTW& font);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TEllipsisPosition EllipsisPosition() const { return ellipsis_; }
  void SetEllipsisPosition(TEllipsisPosition value);
  int CaptionXOffset() const { return captionXOffset_; }
  void SetCaptionXOffset(int value);
  int CaptionYOffset() const { return captionYOffset_; }
  void SetCaptionYOffset(int value);

  bool OffsetClick = false;  // shift the caption by 1,1 while pressed
  int GroupIndex = 0;        // not 0: a click releases the other image buttons of the parent
  std::uintptr_t Data = 0;   // free for the owner

  std::function<void(TImageButton&)> OnClick;
  std::function<void(TImageButton&)> OnDblClick;
  std::function<void(TImageButton&)> OnMouseEnter;
  std::function<void(TImageButton&)> OnMouseLeave;
  std::function<void(TImageButton&, TMouseButton, WPARAM keys, int x, int y)> OnMouseDown;
  std::function<void(TImageButton&, TMouseButton, WPARAM keys, int x, int y)> OnMouseUp;
  std::function<void(TImageButton&, WPARAM keys, int x, int y)> OnMouseMove;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Repaint();
  void Paint(HDC dc);
  void DrawPicture(HDC dc, const TDibImage& picture);
  void DrawCaption(HDC dc);
  void DrawBadge(HDC dc);
  void ResizeClient(int width, int height);
  void MouseEnter();
  void MouseLeave();
  void MouseDown(TMouseButton button, WPARAM keys, LPARAM pos);
  void MouseUp(TMouseButton button, WPARAM keys, LPARAM pos);
  void Click();
  void ReleaseGroup();
  void CheckPointer();

  TButtonState state_ = TButtonState::bsNormal;
  TButtonType type_ = TButtonType::btNone;
  bool down_ = false;
  bool autoSize_ = false;
  bool enabled_ = true;
  bool mouseInControl_ = false;
  bool tracking_ = false;
  bool pressed_ = false;  // the left button went down on the button and is still held
  TDibImage pngNormal_, pngDisable_, pngClick_, pngOver_, pngDown_, pngBadge_;
  std::uint8_t badgeNum_ = 0;
  int preTop_ = 0, preWidth_ = 0, preHeight_ = 0;
  UniqueFont font_;
  UniqueFont badgeFont_;
  COLORREF fontColor_ = RGB(0, 0, 0);
  int captionXOffset_ = 0;
  int captionYOffset_ = 0;
  TAlignment alignment_ = TAlignment::taCenter;
  TEllipsisPosition ellipsis_ = TEllipsisPosition::epNone;
  // Cleared when the button is destroyed, so a handler that frees it ends the message cleanly.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
