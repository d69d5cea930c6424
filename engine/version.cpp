#include "engine/version.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/version_info.h"

namespace zephron {

namespace {

// The run-time library's string-to-integer conversion: leading blanks, an
// optional sign, decimal digits, nothing after them, within 32 bits.
std::optional<std::int32_t> ParseInt(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// Bit operations on the unsigned pattern, so that negative and large pieces
// wrap instead of overflowing.
std::int32_t High(std::int32_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 16); }
std::int32_t Low(std::int32_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) & 0xFFFFu); }

// The text before the next separator, taking it and the separator off `rest`;
// the whole rest when there is no separator.
std::string_view TakePiece(std::string_view& rest, char separator, bool& cut) {
  const auto at = rest.find(separator);
  cut = at != std::string_view::npos;
  const auto piece = rest.substr(0, at);
  rest = cut ? rest.substr(at + 1) : std::string_view{};
  return piece;
}

}  // namespace

tfvi GetFileVersion(const std::string& FileName) {
  tfvi result;
  if (platform::GetFileVersionInfoSize(FileName) == 0) return result;
  const auto block = platform::GetFileVersionInfo(FileName);
  if (!block) return result;
  const auto root = platform::VerQueryValue(*block, "\\");
  if (!root) return result;
  const auto fixed = platform::VerValueFixedFileInfo(*root);
  if (!fixed || fixed->dwSignature != platform::kFixedFileInfoSignature) return result;
  result.versionms = static_cast<std::int32_t>(fixed->dwFileVersionMS);
  result.versionls = static_cast<std::int32_t>(fixed->dwFileVersionLS);
  return result;
}

std::string VersionToStr(const tfvi& version) {
  const auto ms = static_cast<std::uint32_t>(version.versionms);
  const auto ls = static_cast<std::uint32_t>(version.versionls);
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}

tfvi ParseVersion(const std::string& text) {
  tfvi result;
  char separator = 0;
  if (text.find(',') != std::string::npos) {
    separator = ',';
  } else if (text.find('.') != std::string::npos) {
    separator = '.';
  }
  if (separator == 0) {
    if (const auto n = ParseInt(text)) result = {High(*n), 0};
    return result;
  }

  std::string_view rest = text;
  bool cut = false;
  const auto major = ParseInt(TakePiece(rest, separator, cut));
  if (major) result.versionms = High(*major);
  // After a bad major the rest is the minor, uncut; versionms stays all ones.
  const auto minor = ParseInt(major ? TakePiece(rest, separator, cut) : std::exchange(rest, {}));
  if (!major) cut = false;
  if (minor) result.versionms |= Low(*minor);
  if (!cut) {
    // Two pieces.
    if (major && minor) result.versionls = 0;
    return result;
  }
  // After a bad minor the rest is the release, uncut.
  const auto release = ParseInt(minor ? TakePiece(rest, separator, cut) : std::exchange(rest, {}));
  if (!minor) cut = false;
  if (!cut) {
    if (release) result.versionls = High(*release);
    return result;
  }
  // Everything after the third separator is the build piece.
  const auto build = ParseInt(rest);
  if (release && build) result.versionls = High(*release) | Low(*build);
  return result;
}

tfvi TZephron::GetFileVersion(const std::string& FileName) const { return zephron::GetFileVersion(FileName); }

}  // namespace zephron
