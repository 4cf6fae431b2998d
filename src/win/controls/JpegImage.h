#pragma once
// A JPEG picture decoded with libjpeg-turbo into an opaque 32-bit picture.
#include <windows.h>

#include <cstddef>

#include "win/controls/DibImage.h"

class TJpegImage : public TDibImage {
 public:
  // False, with an empty picture, when the bytes are not a readable JPEG or the picture is
  // larger than a picture can be.
  bool LoadFromMemory(const void* data, std::size_t size);
  // The RCDATA resource of that name.
  bool LoadFromResource(HMODULE module, const wchar_t* name);
};
