// Date-times as the run-time library keeps them (TDateTime: days since
// 30 December 1899, the fraction the time of day), in local time, with the
// conversions, the formatting patterns the updater uses
// ("dd/mm/yyyy hh:nn:ss", "dd/mm/yyyy hh:nn:ss:zzz") and the reading of
// date and time texts in a given format. Formats are always arguments:
// nothing here reads or changes a process-wide setting.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zephron::platform {

using TDateTime = double;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// nullopt for a date or time that does not exist (the run-time library's EncodeDate/EncodeTime errors).
std::optional<TDateTime> EncodeDate(int year, int month, int day);
std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond);
DateTimeParts DecodeDateTime(TDateTime value);

// The current local date and time.
TDateTime Now();

// Local time <-> the system clock, through the machine's time zone.
TDateTime FromTimePoint(std::chrono::system_clock::time_point tp);
std::chrono::system_clock::time_point ToTimePoint(TDateTime value);

// A file's last-write time in local time; nullopt when it has none (missing file).
std::optional<TDateTime> FileDateTime(const std::filesystem::path& file);

// Pattern letters: d dd m mm yy yyyy h hh n nn s ss z zzz; "/" and ":" stand for
// the date and time separators; anything else, and text in '' or "", is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value, char dateSeparator = '/',
                           char timeSeparator = ':');

// A date as the run-time library's StrToDate reads it: two or three numbers
// (at most four digits each) separated by `separator`, blanks allowed around
// them, in the day/month/year order of `format` (the order in which d, m and
// y first appear; with a letter missing, the order its first letter implies,
// month-day-year by default). Without the year the current year is taken. A
// year of one or two digits lies within 50 years of `currentYear` (the
// run-time library's century window). nullopt for anything else or for a day
// that does not exist.
std::optional<TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator,
                                                 int currentYear);
std::optional<TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator);

// A time of day as StrToTime reads it: hours and minutes, optionally
// seconds, separated by `separator`, optionally followed by "AM" or "PM"
// (hours 1 to 12 then); blanks allowed around the parts. nullopt otherwise.
std::optional<TDateTime> ParseTimeText(std::string_view text, char separator);


}  // namespace zephron::platform
