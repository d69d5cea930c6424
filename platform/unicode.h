// Conversions between the program's UTF-8 strings and the UTF-16 code units
// of the byte-exact formats (version resources, XML text, registry files),
// and the Windows-1252 code page of the 8-bit ones (INI and registry files,
// cabinet names, records, rich text, request bodies). Malformed UTF-8
// becomes U+FFFD; nothing is dropped.
#pragma once

#include <string>
#include <string_view>

namespace zephron::platform {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Decodes the next code point of UTF-8 text at `pos` and advances it. A byte
// that does not start a valid sequence yields U+FFFD and advances by one.
// With `allowSurrogates` the three-byte forms of lone surrogates are accepted
// (the generalised form Utf16ToUtf8(..., true) produces).
char32_t NextCodePoint(std::string_view text, std::size_t& pos, bool allowSurrogates = false);

// UTF-8 to UTF-16 code units.
std::u16string Utf8ToUtf16(std::string_view text, bool allowSurrogates = false);

// UTF-16 code units to UTF-8. A lone surrogate becomes U+FFFD, or, with
// `keepLoneSurrogates`, its own three-byte form so that the units survive a
// round trip through Utf8ToUtf16(..., true).
std::string Utf16ToUtf8(std::u16string_view units, bool keepLoneSurrogates = false);

// Replaces invalid UTF-8 sequences by U+FFFD (valid text is returned as is).
std::string SanitizeUtf8(std::string_view bytes);

// The Windows-1252 character of a byte. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of
// the same number, as the system's converter maps them.
char32_t Windows1252ToCodePoint(unsigned char byte);
// Windows-1252 bytes as UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);
// The Windows-1252 byte of a code point; '?' when the code page has none.
char CodePointToWindows1252(char32_t cp);

}  // namespace zephron::platform
