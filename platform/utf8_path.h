// std::filesystem paths from and to our UTF-8 strings. A path made from a
// std::string reads it in the ANSI code page on Windows, and string() gives
// it back in that code page, which loses every character outside it; these
// go through char8_t, the same bytes on Linux.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zephron::platform {

inline std::filesystem::path Utf8Path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8String(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace zephron::platform
