#include <gtest/gtest.h>

#include "TestSupport.h"
#include "win/common/WideText.h"
#include "win/controls/ImageButton.h"
#include "win/controls/ImageEdit.h"
#include "win/controls/PngImage.h"

namespace {

constexpr COLORREF kBoxFill = RGB(230, 240, 250);
constexpr COLORREF kBoxFrame = RGB(120, 130, 140);
constexpr int kW = 200, kH = 28;

COLORREF ColourOf(std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// The overlay edit as the program lays it out: a captured box as background, text in it and
// the close button inside the inner edit at its right end. The composed picture is saved as
// controls_screenshot.png beside the test for a person to look at.
TEST(Screenshot, EditOverCapturedBackgroundWithItsCloseButton) {
  // A stand-in for the native search box, captured from the screen like the program does.
  TestHost box(20, 20, kW, kH, kBoxFill);
  {
    WindowDc dc(box.get());
    UniqueBrush frame(CreateSolidBrush(kBoxFrame));
    RECT r{0, 0, kW, kH};
    FrameRect(dc.get(), &r, frame.get());
  }
  TDibImage captured;
  {
    WindowDc dc(box.get());
    ASSERT_TRUE(captured.CaptureFrom(dc.get(), 0, 0, kW, kH));
  }
  ASSERT_EQ(ColourOf(captured.Pixel(0, 0)), kBoxFrame);
  ASSERT_EQ(ColourOf(captured.Pixel(100, 5)), kBoxFill);

  TestHost host(20, 100, kW + 40, kH + 40, RGB(40, 40, 40));
  TImageEdit edit;
  ASSERT_TRUE(edit.SetParentWindow(host.get()));
  edit.SetBounds(20, 20, kW, kH);
  edit.SetBackground(captured);
  edit.SetText(u"Ruvo");

  TPngImage normal;
  ASSERT_TRUE(normal.LoadFromResource(GetModuleHandleW(nullptr), L"Button_Close_7_Over"));
  TImageButton button;
  const int top = (kH - 18) / 2, left = kW - 18 - top;
  ASSERT_TRUE(button.CreateIn(edit.Edit().Handle(), RECT{left, top, left + 18, top + 18}));
  button.SetPngNormal(normal);
  button.Show();
  PumpFor(100);
  RedrawWindow(host.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpFor(50);

  TDibImage shot;
  {
    WindowDc dc(host.get());
    ASSERT_TRUE(shot.CaptureFrom(dc.get(), 20, 20, kW, kH));
  }
  EXPECT_TRUE(SaveOpaquePng(shot, ExeDirectory() + L"controls_screenshot.png"));

  // Background kept: the frame and the fill away from the text and the button.
  EXPECT_EQ(ColourOf(shot.Pixel(0, 0)), kBoxFrame);
  EXPECT_EQ(ColourOf(shot.Pixel(kW - 1, kH - 1)), kBoxFrame);
  EXPECT_EQ(ColourOf(shot.Pixel(120, 3)), kBoxFill);
  EXPECT_EQ(ColourOf(shot.Pixel(120, kH - 4)), kBoxFill);

  // Text drawn: ink where the text starts, none to the right of it before the button.
  int ink = 0, strayInk = 0;
  for (int y = 2; y < kH - 2; ++y) {
    for (int x = 2; x < 60; ++x) ink += !Near(ColourOf(shot.Pixel(x, y)), kBoxFill, 40);
    for (int x = 100; x < left - 2; ++x) strayInk += !Near(ColourOf(shot.Pixel(x, y)), kBoxFill, 3);
  }
  EXPECT_GT(ink, 20);
  EXPECT_EQ(strayInk, 0);

  // The button blended by its alpha over the background: every pixel, opaque, see-through
  // and the anti-aliased ones between.
  int partial = 0, off = 0;
  for (int y = 0; y < 18; ++y) {
    for (int x = 0; x < 18; ++x) {
      const std::uint32_t p = normal.Pixel(x, y);
      const std::uint32_t a = p >> 24;
      partial += a > 0 && a < 255;
      const COLORREF expected = BlendOver(p, ColourOf(captured.Pixel(left + x, top + y)));
      if (!Near(ColourOf(shot.Pixel(left + x, top + y)), expected, 3)) ++off;
    }
  }
  EXPECT_GT(partial, 0) << "the picture has edge pixels to blend";
  EXPECT_EQ(off, 0) << "pixels of the button not blended as expected";
}

}  // namespace
