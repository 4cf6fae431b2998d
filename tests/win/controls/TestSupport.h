#pragma once
// Helpers shared by the control tests: a host window, screen pixels and small PNG files made
// on the spot (and the shared bounded waits and child processes).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "win/common/Handle.h"
#include "win/controls/DibImage.h"
#include "win/controls/WindowPicture.h"

using testing_support::PumpFor;
using testing_support::WaitUntil;

// A visible top-level window with a solid background, for controls to live in.
class TestHost {
 public:
  TestHost(int x, int y, int width, int height, COLORREF background = RGB(255, 255, 255));
  HWND get() const { return wnd_.get(); }

 private:
  UniqueBrush brush_;
  UniqueWindow wnd_;
};

// A picture of one premultiplied 0xAARRGGBB pixel; empty when it cannot be made.
TDibImage SolidPicture(int width, int height, std::uint32_t pixel);

// The colour shown at client point x, y of the window, after pending painting is done.
COLORREF ClientPixel(HWND wnd, int x, int y);

// A PNG file's bytes: RGBA pixels (0xAABBGGRR as bytes R, G, B, A), rows top first.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba);

// Straight 0..255 channels of a premultiplied 0xAARRGGBB pixel blended over an opaque colour.
COLORREF BlendOver(std::uint32_t premultiplied, COLORREF below);
// True when the colours differ by at most `tolerance` in each channel.
bool Near(COLORREF a, COLORREF b, int tolerance = 3);
