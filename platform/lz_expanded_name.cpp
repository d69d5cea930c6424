// The expanded name rule, the same on every system.
#include <algorithm>
#include <cctype>

#include "platform/lz_expand.h"

namespace zephron::platform {
namespace {

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::optional<std::string> ExpandedName(std::string_view compressedPath, char missingChar) {
  const auto slash = compressedPath.find_last_of('/');
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : compressedPath.substr(0, slash + 1);
  std::string name(slash == std::string_view::npos ? compressedPath : compressedPath.substr(slash + 1));
  if (!name.empty() && name.back() == '_') {
    name.pop_back();
    const auto stored = static_cast<unsigned char>(missingChar);
    const bool usable = stored >= 0x20 && stored != 0x7F && missingChar != '/' && missingChar != '\\';
    if (usable) {
      char c = missingChar;
      if (IsLetter(c)) {
        const auto letter = std::find_if(name.rbegin(), name.rend(), IsLetter);
        if (letter != name.rend()) {
          const bool upper = std::isupper(static_cast<unsigned char>(*letter)) != 0;
          c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                      : std::tolower(static_cast<unsigned char>(c)));
        }
      }
      name += c;
    }
  }
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return std::string(folder) + name;
}

}  // namespace zephron::platform
