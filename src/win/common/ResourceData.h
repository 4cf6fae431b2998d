#pragma once
// The bytes of a resource of the module: loaded resources stay mapped for the module's life,
// so the view needs no owner.
#include <windows.h>

#include <cstddef>
#include <span>

// Empty when the module has no resource of that name and type.
inline std::span<const std::byte> ResourceData(HMODULE module, const wchar_t* name, const wchar_t* type) {
  HRSRC res = name ? ::FindResourceW(module, name, type) : nullptr;
  HGLOBAL loaded = res ? ::LoadResource(module, res) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::byte*>(bytes), ::SizeofResource(module, res)};
}
