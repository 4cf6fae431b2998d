#pragma once
// Removes the placeholder text from a picture of Explorer's search box, keeping its frame and
// the magnifier glyph at the right end, so the picture can serve as the overlay edit's
// background. Portable: works on a plain pixel buffer.
#include <cstdint>

// Which Explorer the picture comes from: Windows 8 and later draw the placeholder in one
// flat colour; Windows 7 anti-aliases it against the box's background.
enum class TSearchBoxFamily { Windows7, Windows8OrLater };

// A top-down 32-bit picture: `pixels` holds width * height values 0xAARRGGBB, row after row.
struct TPixelBuffer {
  std::uint32_t* pixels;
  int width;
  int height;
};

// Colours as COLORREF integers (R + 256 * G + 65536 * B).
inline std::uint32_t PixelToColorRef(std::uint32_t pixel) {
  return ((pixel >> 16) & 0xFFu) | (pixel & 0xFF00u) | ((pixel & 0xFFu) << 16);
}

// Whether `color` counts as placeholder ink against the reference colour `ref`.
bool MatchesSearchBoxInk(std::uint32_t color, std::uint32_t ref, TSearchBoxFamily family);

// Paints the placeholder's text band and every pixel that matches the reference colour
// (the pixel at column 0 of the row where a line of `textHeight` pixels starts when centred)
// with `fill` (a COLORREF). Pixels keep their alpha. A picture too small to hold the band's
// reference row is left unchanged.
void EraseSearchBoxInk(const TPixelBuffer& picture, std::uint32_t fill, int textHeight, TSearchBoxFamily family);
