// Windows builds only: the wide (UTF-16) texts of the Win32 calls from and to
// the program's UTF-8 strings, with "/" turned into "\" for paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/unicode.h"

namespace zephron::platform::win32 {

inline std::wstring Wide(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

inline std::wstring WidePath(std::string_view path) {
  std::wstring wide = Wide(path);
  for (auto& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

inline std::string NarrowPath(std::wstring_view path) {
  std::string narrow = Narrow(path);
  for (auto& c : narrow) {
    if (c == '\\') c = '/';
  }
  return narrow;
}

}  // namespace zephron::platform::win32
