#include "platform/paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace zephron::platform {

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (!result.empty() && result.back() != '/' && result.back() != '\\') result += kPathDelimiter;
  return result;
}

std::string ToSlashes(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

std::string ExtractFileName(std::string_view path) {
  const auto pos = path.find_last_of("/\\");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFilePath(std::string_view path) {
  const auto pos = path.find_last_of("/\\");
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string CurrentFolder() {
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec);
  return ec ? std::string() : cwd.generic_string();
}

}  // namespace zephron::platform
