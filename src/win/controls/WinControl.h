#pragma once
// Base of the program's own window controls: one object per window, the object found again
// from the window through GWLP_USERDATA, every message dispatched to the virtual WndProc.
// A control either registers a window class of its own (CreateOwnWindow) or wraps a standard
// control whose window procedure it chains to (CreateStandardWindow). An error escaping
// WndProc goes to the window-error handler (HandleApplicationException) and no further.
#include <windows.h>

#include <functional>

class TWinControl {
 public:
  TWinControl() = default;
  TWinControl(const TWinControl&) = delete;
  TWinControl& operator=(const TWinControl&) = delete;
  // Destroys the window (and with it its child windows) if it still exists.
  virtual ~TWinControl();

  HWND Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandle != nullptr; }

  // The control object of one of this process's control windows; nullptr for any other window.
  static TWinControl* FromHandle(HWND wnd);

  void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const;  // in the parent's client coordinates
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const;
  int Height() const;
  void Show();
  void Hide();
  bool Visible() const { return FHandle && ::IsWindowVisible(FHandle); }
  // Marks the whole client area for painting, background included.
  void Invalidate();

 protected:
  // Registers `className` on first use (no class brush, arrow cursor, double clicks) and
  // creates the window with `this` as its object.
  bool CreateOwnWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent, const RECT& r);
  // Creates a window of a system class (for example "EDIT") and routes its messages through
  // WndProc; DefaultProc then reaches the class's own procedure.
  bool CreateStandardWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND parent, const RECT& r);
  // Detaches the object and destroys the window. Derived destructors call it so that the
  // destroy messages do not reach a half-destroyed object.
  void DestroyHandle();

  // Answers WM_PAINT off screen: the parent's picture under the control (DrawParentBackground),
  // then paint on that memory DC, then one copy to the window, so see-through parts blend
  // with the parent and nothing flickers. A caret the control shows is hidden for the copy:
  // drawn over while visible, its next blink would leave a stray bar.
  void PaintOverParent(const std::function<void(HDC dc)>& paint);

  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // The window class's own handling of a message.
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK StaticProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void Detach();

  HWND FHandle = nullptr;
  WNDPROC FClassProc = nullptr;  // set for wrapped standard controls
};

// Fills `dc` (in the child's client coordinates) with what the child's parent shows under
// the child: the parent's erase and WM_PRINTCLIENT painting. Lets a control with
// see-through parts draw over its parent's picture. Nothing is drawn for a parent window of
// another process.
void DrawParentBackground(HWND child, HDC dc);

// The module the controls' window classes belong to.
HINSTANCE ControlsInstance();
