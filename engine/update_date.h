// Release dates of the version check: the control file's `date` and `time`
// read in the engine's formats, and the date of the installed release kept
// in the registry place of LastURLEntry ("LastDate", "LastTime").
//
// Every format is an argument: nothing here reads or changes a process-wide
// setting, so the worker thread of a threaded update may parse and format
// dates at the same time as the host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace zephron {

// A short date format with its separator and a time format with its
// separator, in the run-time library's pattern letters (d dd m mm yy yyyy,
// h hh n nn s ss; "/" and ":" stand for the separators).
struct DateTimeFormat {
  std::string date = "dd/mm/yyyy";
  char dateSeparator = '/';
  std::string time = "hh:nn";
  char timeSeparator = ':';
};

// The one format in which the installed release's date is stored:
// "2026-12-09" and "14:05:00". A date written this way reads back the same
// whatever the user's locale or the engine's DateFormat.
inline const DateTimeFormat kStoredDateFormat{"yyyy/mm/dd", '-', "hh:nn:ss", ':'};

// A date as the run-time library's StrToDate reads it: two or three numbers
// (at most four digits each) separated by `separator`, blanks allowed around
// them, in the day/month/year order of `format` (the order in which d, m and
// y first appear; with a letter missing, the order its first letter implies,
// month-day-year by default). Without the year the current year is taken. A
// year of one or two digits lies within 50 years of `currentYear` (the
// run-time library's century window). nullopt for anything else or for a day
// that does not exist.
std::optional<platform::TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator,
                                                 int currentYear);
std::optional<platform::TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator);

// A time of day as StrToTime reads it: hours and minutes, optionally
// seconds, separated by `separator`, optionally followed by "AM" or "PM"
// (hours 1 to 12 then); blanks allowed around the parts. nullopt otherwise.
std::optional<platform::TDateTime> ParseTimeText(std::string_view text, char separator);

// The control file's release date: 1 January 1980 when `date` does not
// parse in format.date; the time of day added when `time` parses.
platform::TDateTime ParseUpdateDate(const std::string& date, const std::string& time, const DateTimeFormat& format);

// The texts of a date-time in format.date and format.time.
std::string FormatDateText(platform::TDateTime value, const DateTimeFormat& format);
std::string FormatTimeText(platform::TDateTime value, const DateTimeFormat& format);

// A stored "LastDate": kStoredDateFormat first, then `engineFormat` (as
// installations before the fixed format wrote it), then "dd/mm/yyyy".
std::optional<platform::TDateTime> ParseStoredDate(std::string_view text, const DateTimeFormat& engineFormat);
// A stored "LastTime": with ":" first, then with the engine's time separator.
std::optional<platform::TDateTime> ParseStoredTime(std::string_view text, const DateTimeFormat& engineFormat);

// 1 January 1980, the date that every dated release is newer than.
platform::TDateTime DefaultUpdateDate();

}  // namespace zephron
