// Standard Base64 (RFC 4648 section 4 alphabet, "=" fill, no line breaks),
// used for HTTP Basic credentials and for binary attachments of requests.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace zephron {

// Encodes a text the way the credentials are sent: every UTF-16 code unit of
// the text contributes its low byte, so characters above U+00FF lose their
// high byte (U+0141 encodes like "A") and a character outside the basic plane
// contributes the low bytes of its two surrogates. A byte of the UTF-8 text
// that is not part of a valid sequence counts as the code unit of its own
// value, so it is encoded unchanged.
std::string Base64Encode(const std::string& text);

// Encodes bytes as they are.
std::string Base64Encode(std::span<const std::byte> bytes);

}  // namespace zephron
