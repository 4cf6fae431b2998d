#include "win/controls/DibImage.h"

#include <cstdlib>
#include <cstring>

#include "win/controls/DrawAlpha.h"

namespace {

void MakeOpaque(std::uint32_t* bits, int count) {
  ::GdiFlush();  // GDI may still be writing into the section
  for (int i = 0; i < count; ++i) bits[i] |= 0xFF000000u;
}

}  // namespace

bool TDibImage::Create(int width, int height) {
  Clear();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) {
    Clear();
    return false;
  }
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
  std::memset(bits_, 0, static_cast<std::size_t>(width) * height * 4);
  return true;
}

void TDibImage::Clear() {
  bitmap_.reset();
  bits_ = nullptr;
  width_ = height_ = 0;
}

void TDibImage::Assign(const TDibImage& other) {
  if (other.Empty()) {
    Clear();
    return;
  }
  if (!Create(other.width_, other.height_)) return;
  ::GdiFlush();
  std::memcpy(bits_, other.bits_, static_cast<std::size_t>(width_) * height_ * 4);
}

bool TDibImage::CaptureFrom(HDC source, int x, int y, int width, int height) {
  if (!Create(width, height)) return false;
  UniqueDc mem(::CreateCompatibleDC(source));
  if (!mem) {
    Clear();
    return false;
  }
  bool ok;
  {
    SelectObjectScope sel(mem.get(), bitmap_.get());
    ok = ::BitBlt(mem.get(), 0, 0, width, height, source, x, y, SRCCOPY) != FALSE;
  }
  if (!ok) {
    Clear();
    return false;
  }
  MakeOpaque(bits_, width * height);
  return true;
}

bool TDibImage::AssignBitmap(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || ::GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) {
    Clear();
    return false;
  }
  UniqueDc src(::CreateCompatibleDC(nullptr));
  if (!src) {
    Clear();
    return false;
  }
  SelectObjectScope sel(src.get(), bitmap);
  return CaptureFrom(src.get(), 0, 0, info.bmWidth, std::abs(info.bmHeight));
}

std::uint32_t TDibImage::Pixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  ::GdiFlush();
  return bits_[static_cast<std::size_t>(y) * width_ + x];
}

void TDibImage::Draw(HDC dc, int x, int y) const {
  if (Empty()) return;
  UniqueDc mem(::CreateCompatibleDC(dc));
  if (!mem) return;
  SelectObjectScope sel(mem.get(), bitmap_.get());
  ::BitBlt(dc, x, y, width_, height_, mem.get(), 0, 0, SRCCOPY);
}

bool TDibImage::DrawBlended(HDC dc, int x, int y, int opacityPercent) const {
  if (Empty()) return false;
  UniqueDc mem(::CreateCompatibleDC(dc));
  if (!mem) return false;
  SelectObjectScope sel(mem.get(), bitmap_.get());
  return DrawAlpha(dc, RECT{x, y, x + width_, y + height_}, mem.get(), RECT{0, 0, width_, height_}, opacityPercent);
}
