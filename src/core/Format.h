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

// Folder path of a shell window's location URL: "file:///C:/a%20b/c" gives "C:\a b\c\".
// Takes the text after the first "///" ("file://server/share" gives "\\server\share\"; other
// text without "///" is taken from its third character on), turns "/" into "\", adds a final
// "\", then URL-decodes it with the escapes read as UTF-8 bytes, so names in any script
// survive. A literal "+" stays a "+" (a file-name character here, not an encoded space).
// When the escapes are malformed the undecoded path is returned.
std::u16string FileURLToPath(std::u16string_view url);
