#pragma once
// A JPEG picture decoded with libjpeg-turbo into a 24-bit top-down DIB section.
#include <windows.h>

#include <cstddef>
#include <string>

#include "win/common/Handle.h"

class TJpegImage {
 public:
  // Decodes the bytes; false (and an empty picture) when they are not a readable JPEG or the
  // picture is larger than kMaxPixels.
  bool LoadFromMemory(const void* data, std::size_t size);
  // Loads the RCDATA resource of that name from the module.
  bool LoadFromResource(HMODULE module, const wchar_t* name);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return !bitmap_; }
  HBITMAP Bitmap() const { return bitmap_.get(); }
  // Stretches the picture into the rectangle.
  void Draw(HDC dc, const RECT& r) const;

  static constexpr long long kMaxPixels = 64ll * 1024 * 1024;

 private:
  UniqueBitmap bitmap_;
  int width_ = 0;
  int height_ = 0;
};
