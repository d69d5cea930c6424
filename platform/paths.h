// Path text helpers: the one routine that adds a trailing separator, and the
// conversion of "\" separators written in control files, INI files and the
// registry to the "/" used everywhere in the program.
#pragma once

#include <string>
#include <string_view>

namespace zephron::platform {

inline constexpr char kPathDelimiter = '/';

// Adds "/" unless the text already ends in "/" or "\"; an empty text stays empty
// (as the run-time library's IncludeTrailingPathDelimiter does for "").
std::string IncludeTrailingPathDelimiter(std::string_view path);

// Every "\" becomes "/".
std::string ToSlashes(std::string_view path);

// Text after the last "/" or "\" (the whole text when there is none).
std::string ExtractFileName(std::string_view path);

// Text up to and including the last "/" or "\" (empty when there is none).
std::string ExtractFilePath(std::string_view path);

// The current folder with "/" separators (also on Windows, like the
// special folders), "" when it cannot be determined.
std::string CurrentFolder();

}  // namespace zephron::platform
