// The XML library's own number format: "." as the decimal separator and no
// thousands separator, whatever the process locale, so a value written on one
// machine reads back the same on any other. Doubles are written in their
// shortest general form with up to 15 significant digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zephron::xmlnum {

// Fixed notation while at most 15 digits stand before the point and the
// magnitude is at least 0.00001, else d.dddE[-]x; "NAN", "INF", "-INF".
std::string FloatToText(double value);

// The number test and the conversion in one: blanks around the number, an
// optional sign, digits with an optional "." part, an optional exponent. No
// value for anything else and for a number beyond the double range.
std::optional<double> TextToFloat(std::string_view text);

// A decimal 32-bit integer with optional sign and blanks around it.
std::optional<std::int32_t> TextToInt(std::string_view text);

inline std::string IntToText(std::int64_t value) { return std::to_string(value); }

}  // namespace zephron::xmlnum
