// UTF-8 <-> UTF-16 conversions for the keys and texts of version resources
// (shared by the reader and the builder of VS_VERSIONINFO blocks). Malformed
// input becomes U+FFFD; nothing is dropped silently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zephron::platform::detail {

inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 4;
    std::uint32_t cp = 0xFFFD;
    if (extra == 0) {
      cp = lead;
    } else if (extra <= 3 && text.size() - i > extra) {
      std::uint32_t value = lead & (0x3Fu >> extra);
      bool good = true;
      for (std::size_t k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) {
          good = false;
          break;
        }
        value = (value << 6) | (c & 0x3Fu);
      }
      if (good && value <= 0x10FFFF && !(value >= 0xD800 && value < 0xE000)) cp = value;
      if (!good) extra = 0;  // resynchronise at the next byte
    } else {
      extra = 0;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

inline void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Stops at the first zero unit.
inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
      ++i;
      continue;
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // unpaired surrogate
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace zephron::platform::detail
