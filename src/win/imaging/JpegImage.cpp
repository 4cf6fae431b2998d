#include "win/imaging/JpegImage.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace {
// libjpeg reports fatal errors through error_exit, which must not return: jump back out of
// the decoder (the C library cannot unwind C++ exceptions).
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}
void OnJpegMessage(j_common_ptr) {}

struct Decompressor {
  jpeg_decompress_struct info{};
  ~Decompressor() { jpeg_destroy_decompress(&info); }
};
}  // namespace

bool TJpegImage::LoadFromMemory(const void* data, std::size_t size) {
  bitmap_.reset();
  width_ = height_ = 0;
  if (!data || size == 0 || size > 0x7FFFFFFF) return false;

  Decompressor d;
  JpegError err;
  d.info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnJpegError;
  err.mgr.output_message = OnJpegMessage;
  // No local is modified between setjmp and a possible longjmp: the decoder state lives in
  // d and err, the picture in the members.
  if (setjmp(err.jump)) {
    bitmap_.reset();
    return false;
  }
  jpeg_create_decompress(&d.info);
  jpeg_mem_src(&d.info, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  d.info.out_color_space = JCS_EXT_BGR;  // DIB byte order
  jpeg_start_decompress(&d.info);
  const int w = static_cast<int>(d.info.output_width);
  const int h = static_cast<int>(d.info.output_height);
  if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxPixels || d.info.output_components != 3) return false;

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) {
    bitmap_.reset();
    return false;
  }
  const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  auto* base = static_cast<unsigned char*>(bits);
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = base + stride * d.info.output_scanline;
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
  width_ = w;
  height_ = h;
  return true;
}

bool TJpegImage::LoadFromResource(HMODULE module, const wchar_t* name) {
  HRSRC res = ::FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!res) return false;
  HGLOBAL mem = ::LoadResource(module, res);
  const void* data = mem ? ::LockResource(mem) : nullptr;
  return data && LoadFromMemory(data, ::SizeofResource(module, res));
}

void TJpegImage::Draw(HDC dc, const RECT& r) const {
  if (!bitmap_) return;
  UniqueDc mem(::CreateCompatibleDC(dc));
  SelectObjectScope sel(mem.get(), bitmap_.get());
  ::SetStretchBltMode(dc, HALFTONE);
  ::StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem.get(), 0, 0, width_, height_, SRCCOPY);
}
