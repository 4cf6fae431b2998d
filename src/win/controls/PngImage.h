#pragma once
// A PNG picture decoded with libpng into premultiplied 32-bit pixels, drawn with AlphaBlend.
#include <windows.h>

#include <cstddef>

#include "win/controls/DibImage.h"

class TPngImage : public TDibImage {
 public:
  // Decodes the bytes; false (and an empty picture) when they are not a readable PNG or a
  // side exceeds kMaxSide.
  bool LoadFromMemory(const void* data, std::size_t size);
  // Loads the resource of that name (matched case-insensitively) from the module, of type
  // RT_RCDATA or, failing that, "PNG".
  bool LoadFromResource(HMODULE module, const wchar_t* name);
};
