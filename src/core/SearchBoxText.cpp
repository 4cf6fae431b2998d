#include "core/SearchBoxText.h"

namespace {

// Windows 7 anti-aliased ink differs from the background by up to this much (exclusive),
// counted on the COLORREF integers.
constexpr std::int64_t kWindows7InkSpread = 4194304 / 7 + 1;  // 599186 is the last match

std::uint32_t WithColor(std::uint32_t pixel, std::uint32_t colorRef) {
  const std::uint32_t r = colorRef & 0xFFu, g = (colorRef >> 8) & 0xFFu, b = (colorRef >> 16) & 0xFFu;
  return (pixel & 0xFF000000u) | (r << 16) | (g << 8) | b;
}

}  // namespace

bool MatchesSearchBoxInk(std::uint32_t color, std::uint32_t ref, TSearchBoxFamily family) {
  if (family == TSearchBoxFamily::Windows8OrLater) return color == ref;
  std::int64_t diff = static_cast<std::int64_t>(color) - static_cast<std::int64_t>(ref);
  if (diff < 0) diff = -diff;
  return diff >= 1 && diff < kWindows7InkSpread;
}

void EraseSearchBoxInk(const TPixelBuffer& picture, std::uint32_t fill, int textHeight, TSearchBoxFamily family) {
  const int width = picture.width, height = picture.height;
  if (!picture.pixels || width <= 0 || height <= 0) return;
  const int row = (height - textHeight) / 2;
  if (row < 0 || row >= height) return;
  const std::uint32_t ref = PixelToColorRef(picture.pixels[static_cast<std::size_t>(row) * width]);
  auto at = [&](int x, int y) -> std::uint32_t& { return picture.pixels[static_cast<std::size_t>(y) * width + x]; };
  auto matches = [&](std::uint32_t pixel) { return MatchesSearchBoxInk(PixelToColorRef(pixel), ref, family); };

  // The text band, from a row above the text to two below; the magnifier's end keeps what
  // does not look like ink.
  const int magnifierStart = width - textHeight - 7;
  for (int y = row - 1; y <= row + textHeight + 2; ++y) {
    if (y < 0 || y >= height) continue;
    for (int x = 0; x < width; ++x) {
      std::uint32_t& p = at(x, y);
      if (x < magnifierStart || matches(p)) p = WithColor(p, fill);
    }
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (matches(at(x, y))) at(x, y) = WithColor(at(x, y), fill);
}
