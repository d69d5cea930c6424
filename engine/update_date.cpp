// Release dates: parsing in the engine's formats, and the persisted date of
// the installed release.
#include "engine/update_date.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace zephron {

namespace {

using platform::TDateTime;

// A cursor over text being scanned the way the run-time library's date and
// time scanners do it.
struct Scanner {
  std::string_view text;
  std::size_t pos = 0;

  void SkipBlanks() {
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
  bool Char(char c) {
    SkipBlanks();
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  // Up to four digits: more could not be a date field, and the value cannot overflow.
  bool Number(int& value, int& digits) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (pos < text.size() && digits < 4 && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      value = value * 10 + (text[pos] - '0');
      ++digits;
      ++pos;
    }
    return digits > 0;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos == text.size();
  }
  bool Word(std::string_view word) {
    SkipBlanks();
    if (text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
    }
    pos += word.size();
    return true;
  }
};

// The order of day, month and year in a date format, as the letters 'D', 'M', 'Y'.
std::array<char, 3> DateOrder(std::string_view format) {
  std::string seen;
  for (const char c : format) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if ((u == 'D' || u == 'M' || u == 'Y') && seen.find(u) == std::string::npos) seen += u;
  }
  if (seen.size() == 3) return {seen[0], seen[1], seen[2]};
  const char first = seen.empty() ? 'M' : seen[0];
  if (first == 'D') return {'D', 'M', 'Y'};
  if (first == 'Y') return {'Y', 'M', 'D'};
  return {'M', 'D', 'Y'};
}

int CurrentYear() { return platform::DecodeDateTime(platform::Now()).year; }

}  // namespace

std::optional<TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator,
                                       int currentYear) {
  Scanner scan{text};
  std::array<int, 3> value{};
  std::array<int, 3> digits{};
  if (!scan.Number(value[0], digits[0]) || !scan.Char(separator) || !scan.Number(value[1], digits[1])) {
    return std::nullopt;
  }
  int count = 2;
  if (scan.Char(separator)) {
    if (!scan.Number(value[2], digits[2])) return std::nullopt;
    count = 3;
  }
  if (!scan.AtEnd()) return std::nullopt;

  std::array<char, 3> order = DateOrder(format);
  int year = currentYear;
  int yearDigits = 4;
  int month = 0;
  int day = 0;
  int field = 0;
  for (const char letter : order) {
    if (count == 2 && letter == 'Y') continue;  // no year given: this year
    const int v = value[static_cast<std::size_t>(field)];
    if (letter == 'Y') {
      year = v;
      yearDigits = digits[static_cast<std::size_t>(field)];
    } else if (letter == 'M') {
      month = v;
    } else {
      day = v;
    }
    ++field;
  }
  if (year <= 99 && yearDigits <= 2) {
    // The century window: the year lies within 50 years of now.
    constexpr int kWindow = 50;
    const int base = currentYear - kWindow;
    year += base / 100 * 100;
    if (year < base) year += 100;
  }
  return platform::EncodeDate(year, month, day);
}

std::optional<TDateTime> ParseDateText(std::string_view text, std::string_view format, char separator) {
  return ParseDateText(text, format, separator, CurrentYear());
}

std::optional<TDateTime> ParseTimeText(std::string_view text, char separator) {
  Scanner scan{text};
  int hour = 0;
  int minute = 0;
  int second = 0;
  int digits = 0;
  if (!scan.Number(hour, digits) || !scan.Char(separator) || !scan.Number(minute, digits)) return std::nullopt;
  if (scan.Char(separator) && !scan.Number(second, digits)) return std::nullopt;
  int baseHour = -1;
  if (scan.Word("AM")) {
    baseHour = 0;
  } else if (scan.Word("PM")) {
    baseHour = 12;
  }
  if (!scan.AtEnd()) return std::nullopt;
  if (baseHour >= 0) {
    if (hour == 0 || hour > 12) return std::nullopt;
    if (hour == 12) hour = 0;
    hour += baseHour;
  }
  return platform::EncodeTime(hour, minute, second, 0);
}

TDateTime DefaultUpdateDate() { return *platform::EncodeDate(1980, 1, 1); }

TDateTime ParseUpdateDate(const std::string& date, const std::string& time, const DateTimeFormat& format) {
  TDateTime result = ParseDateText(date, format.date, format.dateSeparator).value_or(DefaultUpdateDate());
  if (!time.empty()) result += ParseTimeText(time, format.timeSeparator).value_or(0);
  return result;
}

std::string FormatDateText(TDateTime value, const DateTimeFormat& format) {
  return platform::FormatDateTime(format.date, value, format.dateSeparator, format.timeSeparator);
}

std::string FormatTimeText(TDateTime value, const DateTimeFormat& format) {
  return platform::FormatDateTime(format.time, value, format.dateSeparator, format.timeSeparator);
}

std::optional<TDateTime> ParseStoredDate(std::string_view text, const DateTimeFormat& engineFormat) {
  // Only a four-digit year marks the fixed format: "09-12-26" written in an
  // engine format "dd-mm-yy" must not read as 26 December 2009.
  const bool fixedFormat =
      text.size() > 4 && text[4] == kStoredDateFormat.dateSeparator &&
      std::all_of(text.begin(), text.begin() + 4, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  if (fixedFormat) {
    if (auto d = ParseDateText(text, kStoredDateFormat.date, kStoredDateFormat.dateSeparator)) return d;
  }
  if (auto d = ParseDateText(text, engineFormat.date, engineFormat.dateSeparator)) return d;
  return ParseDateText(text, "dd/mm/yyyy", '/');
}

std::optional<TDateTime> ParseStoredTime(std::string_view text, const DateTimeFormat& engineFormat) {
  if (auto t = ParseTimeText(text, kStoredDateFormat.timeSeparator)) return t;
  return ParseTimeText(text, engineFormat.timeSeparator);
}

// ---- The engine's members ----

namespace {

platform::Hive HiveOf(const TLastURLEntry& entry) {
  return entry.RegRoot == lurLOCALMACHINE ? platform::Hive::LocalMachine : platform::Hive::CurrentUser;
}

bool HasTime(TDateTime value) {
  const platform::DateTimeParts p = platform::DecodeDateTime(value);
  return p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0;
}

}  // namespace

DateTimeFormat TZephron::EngineDateFormat() const { return {DateFormat, DateSeparator, TimeFormat, TimeSeparator}; }

TDateTime TZephron::ParseUpdateDate(const std::string& date, const std::string& time) const {
  return zephron::ParseUpdateDate(date, time, EngineDateFormat());
}

TDateTime TZephron::UpdateDateGet() {
  TDateTime result = DefaultUpdateDate();
  const TLastURLEntry& entry = LastURLEntry;
  if (!entry.Key.empty() && !entry.Section.empty()) {
    const platform::Hive hive = HiveOf(entry);
    const std::string path = entry.Key + "\\" + entry.Section;
    auto key = platform::RegistryKey::Create(hive, path);
    if (!key) key = platform::RegistryKey::Open(hive, path);  // a read-only hive still reads
    if (key) {
      const std::string date = key->ReadString("LastDate").value_or("");
      const std::string time = key->ReadString("LastTime").value_or("");
      bool ok = true;
      if (!date.empty()) {
        const auto d = ParseStoredDate(date, EngineDateFormat());
        ok = d.has_value();
        if (d) result = *d;
      }
      if (ok && !time.empty()) {
        if (const auto t = ParseStoredTime(time, EngineDateFormat())) result += *t;
      }
    }
    FSaveUpdate = true;
    return result;
  }
  if (!FLocalFileDateCheck.empty()) {
    if (const auto modified = platform::FileDateTime(platform::ToSlashes(FLocalFileDateCheck))) return *modified;
  }
  return result;
}

void TZephron::UpdateDatePut(TDateTime d) {
  const TLastURLEntry& entry = LastURLEntry;
  if (!entry.Save || entry.Key.empty() || entry.Section.empty()) return;
  const platform::Hive hive = HiveOf(entry);
  auto key = platform::RegistryKey::Create(hive, entry.Key + "\\" + entry.Section);
  if (!key) return;
  key->WriteString("LastDate", FormatDateText(d, kStoredDateFormat));
  if (HasTime(d)) {
    key->WriteString("LastTime", FormatTimeText(d, kStoredDateFormat));
  } else {
    // A time left from an earlier release would be added to this date.
    key->DeleteValue("LastTime");
  }
}

}  // namespace zephron
