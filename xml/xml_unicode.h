// Character helpers of the XML library: the conversions between the program's
// UTF-8 strings and the UTF-16 code units and 8-bit bytes of the file formats,
// and the case folding its case-insensitive name matching uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unicode.h"

namespace zephron::xmlchars {

using platform::AppendUtf8;
using platform::NextCodePoint;
using platform::SanitizeUtf8;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;


// Appends one 8-bit character (a byte with the code 0..255) as UTF-8.
inline void AppendLatin1(std::string& out, unsigned char b) {
  if (b < 0x80) {
    out.push_back(static_cast<char>(b));
  } else {
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
  }
}




// Appends `units` UTF-16 little-endian code units read from `bytes` as UTF-8
// (lone surrogates become U+FFFD).
void AppendUtf16Bytes(std::string& out, const char* bytes, std::size_t units);

// Number of UTF-16 code units the UTF-8 text converts to.
std::size_t Utf16Length(std::string_view text);


// Decodes "&lt;", "&gt;" and "&amp;" in text[0, n) in place (any other "&"
// stays); the new length.
std::size_t UnescapeInPlace(char* text, std::size_t n);

// Lower case of one code point (ASCII, Latin, Greek, Cyrillic, Armenian and
// full-width letters; everything else is returned unchanged).
char32_t LowerChar(char32_t cp);

// Lower case of UTF-8 text.
std::string LowerCase(std::string_view text);

// True when `text` lower-cased equals `lowered` (already lower case).
bool EqualsLowered(std::string_view text, std::string_view lowered);

// Case-insensitive equality of two texts.
bool SameText(std::string_view a, std::string_view b);

}  // namespace zephron::xmlchars
