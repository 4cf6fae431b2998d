#include "win/controls/PngImage.h"

#include <png.h>

#include <cstring>

#include "win/common/ResourceData.h"

namespace {

// Owns a png_image between begin and finish.
struct PngImageScope {
  png_image image;
  PngImageScope() {
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
  }
  ~PngImageScope() { png_image_free(&image); }
  PngImageScope(const PngImageScope&) = delete;
  PngImageScope& operator=(const PngImageScope&) = delete;
};

void Premultiply(std::uint32_t* px, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t c = px[i];
    const std::uint32_t a = c >> 24;
    if (a == 255) continue;
    auto mul = [a](std::uint32_t v) { return (v * a + 127) / 255; };
    px[i] = (a << 24) | (mul((c >> 16) & 0xFF) << 16) | (mul((c >> 8) & 0xFF) << 8) | mul(c & 0xFF);
  }
}

}  // namespace

bool TPngImage::LoadFromMemory(const void* data, std::size_t size) {
  Clear();
  if (!data || size == 0) return false;
  PngImageScope png;
  if (!png_image_begin_read_from_memory(&png.image, data, size)) return false;
  if (png.image.width == 0 || png.image.height == 0 || png.image.width > static_cast<png_uint_32>(kMaxSide) ||
      png.image.height > static_cast<png_uint_32>(kMaxSide)) {
    return false;
  }
  png.image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in a little-endian 32-bit word
  const int width = static_cast<int>(png.image.width);
  const int height = static_cast<int>(png.image.height);
  if (!Create(width, height)) return false;
  if (!png_image_finish_read(&png.image, nullptr, Bits(), width * 4, nullptr)) {
    Clear();
    return false;
  }
  Premultiply(Bits(), static_cast<std::size_t>(width) * height);
  return true;
}

bool TPngImage::LoadFromResource(HMODULE module, const wchar_t* name) {
  Clear();
  auto bytes = ResourceData(module, name, RT_RCDATA);
  if (bytes.empty()) bytes = ResourceData(module, name, L"PNG");
  return !bytes.empty() && LoadFromMemory(bytes.data(), bytes.size());
}
