// The installed version of a product as the updater shows it: the version
// text of an executable's version resource, cut to a number of parts (the
// main window shows four, the caption of the updater three).
#pragma once

#include <string>
#include <string_view>

namespace zephron {

// The FileVersion string of the file's first translation when it is a
// well-formed version, else its ProductVersion string, else "not found";
// trimmed, then cut to `parts` dot-separated parts (1 to 4): with 3,
// "1.0.15.33" gives "1.0.15" and "not found" gives "".
std::string GetFileVersionString(const std::string& file, int parts);

// Text that, split at its first three ".", gives three fields and a remainder
// that each read as a floating-point number, carriage returns and line feeds
// at the start of each field skipped first. "1.0.15.33" is well-formed,
// "1.0.15" is not (empty remainder).
bool IsWellFormedVersion(std::string_view text);

// The run-time library's float conversion in the C locale ("." decimal
// separator, no thousands separators): optional spaces, an optional sign,
// digits with at most one "." and at least one digit, an optional exponent
// ("e" or "E", optional sign, digits), optional spaces. Only the syntax is
// checked. No "INF"/"NAN", no hexadecimal.
bool IsFloatText(std::string_view text);

}  // namespace zephron
