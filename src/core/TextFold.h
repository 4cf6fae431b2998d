#pragma once
// Lower-casing used by name matching. On Windows it is the system's locale-aware
// CharLowerBuffW; the native build uses the Unicode simple lower-case mapping. Both map one
// UTF-16 code unit to one code unit, so the folded text has the length of the original and
// positions in it are positions in the original.
#include <string>
#include <string_view>

std::u16string FoldLower(std::u16string_view s);
