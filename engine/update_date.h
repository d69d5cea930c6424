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
