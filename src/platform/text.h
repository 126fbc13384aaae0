#pragma once

// Conversion between the program's narrow texts (UTF-8 byte strings, as Linux file names are)
// and the UTF-16 strings the media runtime takes.
//
// Bytes that are not part of valid UTF-8 become the lone surrogates U+DC80..U+DCFF and turn back
// into the same bytes, so every file name survives the round trip.

#include <string>

namespace platform {

std::u16string utf8ToUtf16(const std::string& text);

// Lone surrogates U+DC80..U+DCFF become the bytes they stand for; any other unpaired surrogate
// becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);

// Appends a code point (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace platform
