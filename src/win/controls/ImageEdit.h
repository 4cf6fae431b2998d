#pragma once
// The overlay search edit: a control that paints a picture as its background (a capture of
// the box it covers) and hosts a borderless inner edit whose text is drawn transparently over
// that picture. Enter, Escape and every text change reach the owner through events.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "win/common/Handle.h"
#include "win/controls/DibImage.h"
#include "win/controls/WinControl.h"

class TImageEdit;

// The inner text control: a standard multi-line edit without border, always a child of its
// TImageEdit, kept to one line (Enter and line breaks never enter the text).
class TEdit : public TWinControl {
 public:
  explicit TEdit(TImageEdit& owner) : FOwner(owner) {}
  ~TEdit() override { DestroyHandle(); }

  bool CreateIn(HWND parent, int width, int height);
  // Centres one line of text vertically and applies the owner's TextXOffset (EM_SETRECT).
  void UpdateTextRect();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  LRESULT OnChar(WPARAM wp, LPARAM lp);
  void OnPaint();
  void PasteAsOneLine();

  TImageEdit& FOwner;
};

class TImageEdit : public TWinControl {
 public:
  TImageEdit();
  ~TImageEdit() override;

  static constexpr int kDefaultWidth = 121;
  static constexpr int kDefaultHeight = 25;

  // Puts the control under a window of this or another process. The window (with the inner
  // edit) is created under the first parent; nullptr hides it and takes it out of its parent.
  bool SetParentWindow(HWND parent);
  HWND ParentWindow() const;
  // Focuses the inner edit.
  void SetFocus();

  TEdit& Edit() { return FEdit; }
  const TEdit& Edit() const { return FEdit; }

  std::u16string Text() const;
  // Sets the inner edit's text; OnChange is raised once when the text differs.
  void SetText(std::u16string_view text);

  const TDibImage& Background() const { return FBackground; }
  // Copies the picture and repaints; the control takes the picture's size at the next paint.
  void SetBackground(const TDibImage& picture);

  int TextXOffset() const { return FTextXOffset; }
  void SetTextXOffset(int offset);

  bool UseExplorerFont() const { return FUseExplorerFont; }
  // True: the inner edit's font is the visual theme's "REBAR" band font when a theme is
  // available; otherwise, and for False, the control's own font.
  void SetUseExplorerFont(bool value);

  // The control's own font (the system's default GUI font until set) and the inner edit's.
  HFONT Font() const { return FFont.get(); }
  HFONT EditFont() const { return FEditFont.get(); }
  void SetFont(const LOGFONTW& font);

  // Suppresses the inner edit's context menu.
  bool DisableRightClick = false;
  // A text height the owner stores with the control; the control does not use it.
  int TextHeight = 0;

  std::function<void(TImageEdit&)> OnChange;
  std::function<void(TImageEdit&)> OnEnterPress;
  std::function<void(TImageEdit&)> OnEscPress;
  // Every character key before the edit handles it; the handler may change the key (0 drops it).
  std::function<void(TImageEdit&, wchar_t& key)> OnKeyPress;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool CreateWindowIn(HWND parent);
  void ApplyEditFont();
  void PaintTo(HDC dc, bool allowResize);
  void EditChange();

  TEdit FEdit;
  TDibImage FBackground;
  UniqueFont FFont;
  UniqueFont FEditFont;
  int FTextXOffset = 0;
  bool FUseExplorerFont = false;
  bool FSettingText = false;

  friend class TEdit;
};
