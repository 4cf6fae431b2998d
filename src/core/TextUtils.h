#pragma once
// Text helpers shared by every component. Text is UTF-16 (std::u16string) throughout the
// core, so it is byte-identical to the Windows wide strings it meets at the system boundary.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// 1-based position of the last occurrence of sub in s; 0 when absent or sub is empty.
std::size_t LastPos(std::u16string_view sub, std::u16string_view s);

// ASCII-only lower-casing (A-Z), for comparisons of fixed protocol or file-extension text.
std::u16string LowerAscii(std::u16string_view s);
// Equal when only the case of A-Z differs (é and É stay different).
bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// Removes leading and trailing characters <= U+0020 (blanks and control characters).
std::u16string Trim(std::u16string_view s);

// The drive part of a path: "C:" for "C:\dir", "\\server\share" for a network path,
// empty for anything else.
std::u16string ExtractFileDrive(std::u16string_view path);

// Reads a 32-bit integer the way the classic toolkits' StrToInt does: optional leading
// blanks, an optional sign, then decimal digits or a hexadecimal form ("$", "0x", "0X", "x",
// "X"). Decimal must fit a signed 32-bit value; hexadecimal takes up to 32 bits and wraps.
// Anything else (empty, trailing characters, overflow) gives no value.
std::optional<std::int32_t> TryStrToInt(std::u16string_view s);

// What the UTF-8 codec does with a lone surrogate: replace it with U+FFFD (strict UTF-8), or
// keep it as its own 3-byte sequence (WTF-8, so any Windows file name survives a round trip).
enum class TSurrogates { Replace, Keep };

// Malformed bytes decode as U+FFFD; nothing is read past the end.
std::u16string Utf8ToUtf16(std::string_view s, TSurrogates surrogates = TSurrogates::Replace);
void AppendUtf16(std::string_view s, std::u16string& out, TSurrogates surrogates = TSurrogates::Replace);
void AppendUtf8(std::u16string_view s, std::string& out, TSurrogates surrogates = TSurrogates::Replace);
std::string Utf16ToUtf8(std::u16string_view s, TSurrogates surrogates = TSurrogates::Replace);
inline std::u16string U16(const char* ascii) { return Utf8ToUtf16(ascii); }
