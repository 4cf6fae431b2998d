// Native lower-casing: the C.UTF-8 locale's towlower, the Unicode simple case mapping.
// Surrogate code units and characters whose lower case lies outside the BMP stay as they are.
#include <locale.h>

#include <clocale>
#include <cwctype>
#include <stdexcept>

#include "core/TextFold.h"

namespace {

locale_t Utf8Locale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) throw std::runtime_error("C.UTF-8 locale is not available");
    return l;
  }();
  return loc;
}

}  // namespace

std::u16string FoldLower(std::u16string_view s) {
  const locale_t loc = Utf8Locale();
  std::u16string out(s);
  for (char16_t& c : out) {
    if (c < 0x80) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    } else if (c < 0xD800 || c > 0xDFFF) {
      const wint_t lower = towlower_l(static_cast<wint_t>(c), loc);
      if (lower <= 0xFFFF) c = static_cast<char16_t>(lower);
    }
  }
  return out;
}
