#include "win/controls/JpegImage.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

#include "win/common/ResourceData.h"

namespace {
// libjpeg reports fatal errors through error_exit, which must not return: jump back out of
// the decoder (the C library cannot unwind C++ exceptions).
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void OnJpegMessage(j_common_ptr) {}

struct Decompressor {
  jpeg_decompress_struct info{};
  ~Decompressor() { jpeg_destroy_decompress(&info); }
};
}  // namespace

bool TJpegImage::LoadFromMemory(const void* data, std::size_t size) {
  Clear();
  if (!data || size == 0 || size > 0x7FFFFFFF) return false;

  Decompressor d;
  JpegError err;
  d.info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnJpegError;
  err.mgr.output_message = OnJpegMessage;
  // No local is changed between setjmp and a possible longjmp: the decoder state lives in d
  // and err, the picture in the object.
  if (setjmp(err.jump)) {
    Clear();
    return false;
  }
  jpeg_create_decompress(&d.info);
  jpeg_mem_src(&d.info, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  d.info.out_color_space = JCS_EXT_BGRA;  // the picture's byte order, alpha 255: opaque
  jpeg_start_decompress(&d.info);
  if (d.info.output_components != 4 || !Create(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height)))
    return false;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(Bits() + static_cast<std::size_t>(Width()) * d.info.output_scanline);
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

bool TJpegImage::LoadFromResource(HMODULE module, const wchar_t* name) {
  Clear();
  const auto bytes = ResourceData(module, name, RT_RCDATA);
  return !bytes.empty() && LoadFromMemory(bytes.data(), bytes.size());
}
