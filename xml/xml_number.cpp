#include "xml/xml_number.h"

#include <charconv>
#include <cmath>

namespace zephron::xmlnum {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FloatToText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // to_chars never consults the locale, unlike printf.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t e = text.find('e');
  std::string digits(1, text[0]);
  digits += text.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string_view expText = text.substr(e + 1);
  const bool negativeExp = expText.front() == '-';
  expText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  if (negativeExp) exponent = -exponent;

  std::string out = negative ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent >= 0) {
      const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= whole) {
        out += digits + std::string(whole - digits.size(), '0');
      } else {
        out += digits.substr(0, whole) + "." + digits.substr(whole);
      }
    } else {
      out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
  } else {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent);
  }
  return out;
}

std::optional<double> TextToFloat(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t i = 0;
  std::string plain;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain.push_back('-');
    ++i;
  }
  const std::size_t mantissaStart = i;
  bool anyDigit = false;
  while (i < text.size() && IsDigit(text[i])) ++i, anyDigit = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, anyDigit = true;
  }
  if (!anyDigit) return std::nullopt;
  plain += text.substr(mantissaStart, i - mantissaStart);
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      if (text[i] == '-') plain.push_back('-');
      ++i;
    }
    const std::size_t expStart = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == expStart) return std::nullopt;
    plain += text.substr(expStart, i - expStart);
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> TextToInt(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !IsDigit(text.front())) return std::nullopt;
  std::int64_t magnitude = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace zephron::xmlnum
