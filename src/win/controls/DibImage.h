#pragma once
// A picture held as a 32-bit top-down DIB section with premultiplied alpha (the layout
// AlphaBlend expects). Opaque pictures (screen captures) have alpha 255 everywhere.
#include <windows.h>

#include <cstdint>
#include <utility>

#include "win/common/Handle.h"

class TDibImage {
 public:
  TDibImage() = default;
  TDibImage(const TDibImage& other) { Assign(other); }
  TDibImage& operator=(const TDibImage& other) {
    if (this != &other) Assign(other);
    return *this;
  }
  // A moved-from picture is empty, never left pointing at pixels it no longer owns.
  TDibImage(TDibImage&& other) noexcept { *this = std::move(other); }
  TDibImage& operator=(TDibImage&& other) noexcept {
    if (this != &other) {
      bitmap_ = std::move(other.bitmap_);
      bits_ = std::exchange(other.bits_, nullptr);
      width_ = std::exchange(other.width_, 0);
      height_ = std::exchange(other.height_, 0);
    }
    return *this;
  }
  virtual ~TDibImage() = default;

  // A transparent picture of that size; false (and empty) for sizes out of range.
  bool Create(int width, int height);
  void Clear();
  void Assign(const TDibImage& other);
  // Copies the rectangle of a device context (for example a screen capture) as opaque pixels.
  bool CaptureFrom(HDC source, int x, int y, int width, int height);
  // Copies a bitmap (any depth) as opaque pixels.
  bool AssignBitmap(HBITMAP bitmap);

  bool Empty() const { return !bitmap_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Bitmap() const { return bitmap_.get(); }
  // Row-major, top row first, 0xAARRGGBB premultiplied; nullptr when empty.
  std::uint32_t* Bits() const { return bits_; }
  std::uint32_t Pixel(int x, int y) const;

  // Copies the pixels as they are (alpha ignored) to x, y.
  void Draw(HDC dc, int x, int y) const;
  // Blends the pixels over the destination by their alpha, scaled by `opacityPercent`.
  bool DrawBlended(HDC dc, int x, int y, int opacityPercent = 100) const;

  static constexpr int kMaxSide = 8192;

 private:
  UniqueBitmap bitmap_;
  std::uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
