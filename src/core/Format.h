#pragma once
// Text forms shown to the user or read from shell locations.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class EURLDecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes URL escapes over 8-bit characters: "+" is a space, "%%" a "%", "%XX" the byte of
// the hexadecimal XX (either case). Throws EURLDecodeError for a "%" with fewer than two
// characters after it or with non-hexadecimal ones (positions are 1-based).
std::string URLDecode(std::string_view text);

// "n bytes" below 1 KB (negative sizes included), then "x.x KB", "x.x MB", "x.x GB" and
// "x.xx TB", with decimalSeparator (the user's locale separator on Windows) in place of ".".
std::u16string FormatFileSize(std::int64_t size, std::u16string_view decimalSeparator);
