#include "core/FileIndexText.h"

#include "core/TextUtils.h"

void AppendWtf8(std::u16string_view s, std::string& out) { AppendUtf8(s, out, TSurrogates::Keep); }

std::string ToWtf8(std::u16string_view s) { return Utf16ToUtf8(s, TSurrogates::Keep); }

std::u16string FromWtf8(std::string_view s) { return Utf8ToUtf16(s, TSurrogates::Keep); }

void AppendFromWtf8(std::string_view s, std::u16string& out) { AppendUtf16(s, out, TSurrogates::Keep); }
