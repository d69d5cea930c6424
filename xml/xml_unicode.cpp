#include "xml/xml_unicode.h"

#include <cstring>

#include "platform/ascii_case.h"

namespace zephron::xmlchars {

namespace {
constexpr char32_t kReplacement = 0xFFFD;
}  // namespace

void AppendUtf16Bytes(std::string& out, const char* bytes, std::size_t units) {
  out.reserve(out.size() + units);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t u = p[2 * i] | (p[2 * i + 1] << 8);
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
      } else {
        AppendUtf8(out, kReplacement);
      }
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t n = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      ++n;
      continue;
    }
    n += NextCodePoint(text, pos) >= 0x10000 ? 2 : 1;
  }
  return n;
}

char32_t LowerChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
  if (c < 0x180) {
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 0) ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    return c;
  }
  if (c >= 0x386 && c <= 0x3AB) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x391 && c != 0x3A2) return c + 32;
    return c;
  }
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return (c % 2 == 0) ? c + 1 : c;
  if (c >= 0x531 && c <= 0x556) return c + 48;
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return (c % 2 == 0) ? c + 1 : c;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

std::string LowerCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      out.push_back(platform::AsciiLower(text[pos]));
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(text, pos, true);
    if (cp == kReplacement && pos == start + 1) {
      out.push_back(text[start]);  // keep undecodable bytes as they are
    } else {
      AppendUtf8(out, LowerChar(cp));
    }
  }
  return out;
}

bool EqualsLowered(std::string_view text, std::string_view lowered) {
  if (text.size() == lowered.size()) {
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      if (b >= 0x80) break;
      if (platform::AsciiLower(text[i]) != lowered[i]) return false;
    }
    if (i == text.size()) return true;
  } else {
    // Lower-casing keeps ASCII text at its length, so different lengths can
    // only match when non-ASCII letters are involved.
    bool ascii = true;
    for (const char ch : text) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    if (ascii) return false;
  }
  return LowerCase(text) == lowered;
}

bool SameText(std::string_view a, std::string_view b) { return EqualsLowered(a, LowerCase(b)); }

std::size_t UnescapeInPlace(char* text, std::size_t n) {
  // The text only gets shorter; the runs between the "&"s move in one piece.
  const void* amp = std::memchr(text, '&', n);
  std::size_t read = amp == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(amp) - text);
  std::size_t write = read;
  while (read < n) {
    // text[read] is "&".
    const std::string_view rest(text + read, n - read);
    char decoded = '&';
    std::size_t length = 1;
    if (rest.starts_with("&lt;")) {
      decoded = '<';
      length = 4;
    } else if (rest.starts_with("&gt;")) {
      decoded = '>';
      length = 4;
    } else if (rest.starts_with("&amp;")) {
      length = 5;
    }
    text[write++] = decoded;
    read += length;
    const void* next = read < n ? std::memchr(text + read, '&', n - read) : nullptr;
    const std::size_t end = next == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(next) - text);
    if (write != read) std::memmove(text + write, text + read, end - read);
    write += end - read;
    read = end;
  }
  return write;
}

}  // namespace zephron::xmlchars
