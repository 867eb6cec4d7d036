// UTF-8 <-> UTF-16. Malformed input never fails: bad sequences become U+FFFD.
#pragma once

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// The same into `out`, replacing its contents and keeping its storage (for conversions in a loop).
void Utf16ToUtf8(std::u16string_view text, std::string& out);
// Plain ASCII literal to UTF-16 (for narrow texts such as source file names).
std::u16string AsciiToUtf16(std::string_view text);
