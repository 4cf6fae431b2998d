// Figures for the skinned controls under Wine: decoding a close-button picture, a keystroke in
// the search edit with its full repaint, and a hover/leave round of the close button.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "win/controls/ImageButton.h"
#include "win/controls/ImageEdit.h"
#include "win/controls/PngImage.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
void Measure(const char* what, int rounds, F&& body) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) body(i);
  const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
  std::printf("%-48s %10.1f us  (%d rounds)\n", what, us, rounds);
}

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

}  // namespace

int main() {
  Measure("decode Button_Close_7_Over (18x18 PNG)", 5000, [](int) {
    TPngImage png;
    png.LoadFromResource(GetModuleHandleW(nullptr), L"Button_Close_7_Over");
  });

  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"RuvoBenchHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 400, 100,
                              nullptr, nullptr, wc.hInstance, nullptr);

  TImageEdit edit;
  edit.SetParentWindow(host);
  TDibImage background;
  background.Create(300, 28);
  for (int i = 0; i < 300 * 28; ++i) background.Bits()[i] = 0xFFF0F4F8u;
  edit.SetBackground(background);
  TImageButton button;
  TPngImage normal, over;
  normal.LoadFromResource(GetModuleHandleW(nullptr), L"Button_Close_10_Normal");
  over.LoadFromResource(GetModuleHandleW(nullptr), L"Button_Close_10_Over");
  button.CreateIn(edit.Edit().Handle(), RECT{277, 5, 295, 23});
  button.SetPngNormal(normal);
  button.SetPngOver(over);
  button.Show();
  UpdateWindow(host);

  Measure("search edit: keystroke + full repaint", 500, [&](int i) {
    SendMessageW(edit.Edit().Handle(), WM_CHAR, i % 40 == 39 ? L'\b' : L'a' + i % 26, 1);
    UpdateWindow(edit.Edit().Handle());
    if (i % 40 == 39) edit.SetText(u"");
  });
  Measure("close button: hover + leave, each repainted", 1000, [&](int) {
    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(9, 9));
    UpdateWindow(button.Handle());
    SendMessageW(button.Handle(), WM_MOUSELEAVE, 0, 0);
    UpdateWindow(button.Handle());
  });
  DestroyWindow(host);
  return 0;
}
