#pragma once
// Name encoding of the file index. Names are kept as WTF-8: UTF-8 that also carries lone
// surrogates (3 bytes each), so every Windows name survives the round trip while ASCII names
// cost one byte per character. A byte-wise substring test on this encoding agrees with a
// code-unit test on the UTF-16 text for every text without lone surrogates.
#include <string>
#include <string_view>

// Appends the WTF-8 form of s to out.
void AppendWtf8(std::u16string_view s, std::string& out);
std::string ToWtf8(std::u16string_view s);
// Decodes what AppendWtf8 produced; malformed bytes become U+FFFD, never a read past the end.
std::u16string FromWtf8(std::string_view s);
void AppendFromWtf8(std::string_view s, std::u16string& out);

