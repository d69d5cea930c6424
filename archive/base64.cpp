#include "archive/base64.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace zephron {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The code point of the valid UTF-8 sequence at the start of text and its
// length, or length 0 when the first byte does not start one.
std::pair<char32_t, std::size_t> DecodeOne(std::string_view text) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = b(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t cp;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 0};
  }
  if (text.size() < length || b(1) < low || b(1) > high) return {0, 0};
  for (std::size_t i = 1; i < length; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return {0, 0};
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  return {cp, length};
}

}  // namespace

std::string Base64Encode(std::span<const std::byte> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned>(bytes[k]); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned b1 = at(i), b2 = at(i + 1), b3 = at(i + 2);
    out += kAlphabet[b1 >> 2];
    out += kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
    out += kAlphabet[((b2 & 15) << 2) | (b3 >> 6)];
    out += kAlphabet[b3 & 63];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const unsigned b1 = at(i), b2 = rest == 2 ? at(i + 1) : 0;
    out += kAlphabet[b1 >> 2];
    out += kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
    out += rest == 2 ? kAlphabet[(b2 & 15) << 2] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Encode(const std::string& text) {
  std::vector<std::byte> low;
  low.reserve(text.size());
  std::string_view rest(text);
  while (!rest.empty()) {
    const auto [cp, length] = DecodeOne(rest);
    if (length == 0) {
      low.push_back(static_cast<std::byte>(rest.front()));
      rest.remove_prefix(1);
      continue;
    }
    rest.remove_prefix(length);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      low.push_back(static_cast<std::byte>((0xD800 + (v >> 10)) & 0xFF));
      low.push_back(static_cast<std::byte>((0xDC00 + (v & 0x3FF)) & 0xFF));
    } else {
      low.push_back(static_cast<std::byte>(cp & 0xFF));
    }
  }
  return Base64Encode(std::span<const std::byte>(low));
}

}  // namespace zephron
