#include "app/version_string.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "platform/version_info.h"

namespace zephron {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text of a string value: the reported length counts the terminating
// zero, which is not part of the text.
std::optional<std::string> QueryString(const std::vector<std::byte>& block, const std::string& path) {
  const auto value = platform::VerQueryValue(block, path);
  if (!value || value->length == 0) return std::nullopt;
  return platform::VerValueText(*value);
}

// The run-time library's Trim: every character up to and including the space.
std::string Trim(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string VersionText(const std::string& file) {
  const std::string notFound = "not found";
  if (platform::GetFileVersionInfoSize(file) == 0) return notFound;
  const auto block = platform::GetFileVersionInfo(file);
  if (!block) return notFound;
  const auto translation = platform::VerQueryValue(*block, "\\VarFileInfo\\Translation");
  if (!translation) return notFound;
  const auto entries = platform::VerValueDwords(*translation);
  if (entries.empty()) return notFound;
  char table[16];
  std::snprintf(table, sizeof table, "%04X%04X", static_cast<unsigned>(entries[0] & 0xFFFF),
                static_cast<unsigned>(entries[0] >> 16));
  const std::string path = std::string("\\StringFileInfo\\") + table;
  if (const auto fileVersion = QueryString(*block, path + "\\FileVersion"); fileVersion && IsWellFormedVersion(*fileVersion)) {
    return *fileVersion;
  }
  if (const auto productVersion = QueryString(*block, path + "\\ProductVersion")) return *productVersion;
  return notFound;
}

}  // namespace

bool IsFloatText(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  while (i < n && text[i] == ' ') ++i;
  return i == n;
}

bool IsWellFormedVersion(std::string_view text) {
  auto skipLineBreaks = [&text] {
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
  };
  for (int field = 0; field < 3; ++field) {
    skipLineBreaks();
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || !IsFloatText(text.substr(0, dot))) return false;
    text.remove_prefix(dot + 1);
  }
  skipLineBreaks();
  return IsFloatText(text);
}

std::string GetFileVersionString(const std::string& file, int parts) {
  std::string result = Trim(VersionText(file));
  // Drops characters from the end until the dots dropped make up the parts
  // asked for; a text with too few dots is used up entirely.
  int n = parts;
  while (n < 4 && !result.empty()) {
    if (result.back() == '.') ++n;
    result.pop_back();
  }
  return result;
}

}  // namespace zephron
