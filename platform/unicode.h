// Conversions between the program's UTF-8 strings and the UTF-16 code units
// of the byte-exact formats (version resources, XML text, registry files).
// Malformed UTF-8 becomes U+FFFD; nothing is dropped.
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

}  // namespace zephron::platform
