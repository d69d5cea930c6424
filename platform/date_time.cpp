#include "platform/date_time.h"

#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <system_error>

#include "platform/ascii_case.h"

namespace zephron::platform {
namespace {

using std::chrono::days;
using std::chrono::sys_days;

constexpr double kMsPerDay = 86'400'000.0;
// 1899-12-30, day 0 of the run-time library's calendar.
constexpr sys_days kEpoch = sys_days{std::chrono::year{1899} / 12 / 30};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::string Pad(int value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

}  // namespace

std::optional<TDateTime> EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  const sys_days date{std::chrono::year{year} / month / day};
  return static_cast<double>((date - kEpoch).count());
}

std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999) {
    return std::nullopt;
  }
  return ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 / kMsPerDay + millisecond / kMsPerDay;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  // Round to whole milliseconds first so that 23:59:59.9996 does not come out as 24:00.
  const double totalMs = std::round(value * kMsPerDay);
  auto dayNumber = static_cast<long long>(std::floor(totalMs / kMsPerDay));
  auto msOfDay = static_cast<long long>(totalMs - static_cast<double>(dayNumber) * kMsPerDay);
  const std::chrono::year_month_day ymd{kEpoch + days{dayNumber}};
  DateTimeParts parts;
  parts.year = static_cast<int>(ymd.year());
  parts.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  parts.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  parts.hour = static_cast<int>(msOfDay / 3'600'000);
  parts.minute = static_cast<int>(msOfDay / 60'000 % 60);
  parts.second = static_cast<int>(msOfDay / 1000 % 60);
  parts.millisecond = static_cast<int>(msOfDay % 1000);
  return parts;
}

TDateTime FromTimePoint(std::chrono::system_clock::time_point tp) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch());
  std::time_t seconds = static_cast<std::time_t>(std::chrono::floor<std::chrono::seconds>(ms).count());
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday).value_or(0);
  const int millis = static_cast<int>(ms.count() - static_cast<long long>(seconds) * 1000);
  // tm_sec may be 60 on a leap second; fold it into 59.
  const auto time = EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, millis);
  return date + time.value_or(0);
}

std::chrono::system_clock::time_point ToTimePoint(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::tm local{};
  local.tm_year = p.year - 1900;
  local.tm_mon = p.month - 1;
  local.tm_mday = p.day;
  local.tm_hour = p.hour;
  local.tm_min = p.minute;
  local.tm_sec = p.second;
  local.tm_isdst = -1;  // let the time zone rules decide
  const std::time_t seconds = std::mktime(&local);
  return std::chrono::system_clock::from_time_t(seconds) + std::chrono::milliseconds(p.millisecond);
}

TDateTime Now() { return FromTimePoint(std::chrono::system_clock::now()); }

std::optional<TDateTime> FileDateTime(const std::filesystem::path& file) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(file, ec);
  if (ec) return std::nullopt;
  return FromTimePoint(std::chrono::file_clock::to_sys(written));
}

std::string FormatDateTime(std::string_view pattern, TDateTime value, char dateSeparator, char timeSeparator) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  std::size_t i = 0;
  auto run = [&](char letter) {
    std::size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] | 0x20) == letter) ++n;
    return n;
  };
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lower = static_cast<char>(c | 0x20);
    std::size_t n = 0;
    switch (lower) {
      case 'd':
        n = run('d');
        out += Pad(p.day, n >= 2 ? 2 : 1);
        break;
      case 'm':
        n = run('m');
        out += Pad(p.month, n >= 2 ? 2 : 1);
        break;
      case 'y':
        n = run('y');
        out += n <= 2 ? Pad(p.year % 100, 2) : Pad(p.year, 4);
        break;
      case 'h':
        n = run('h');
        out += Pad(p.hour, n >= 2 ? 2 : 1);
        break;
      case 'n':
        n = run('n');
        out += Pad(p.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        n = run('s');
        out += Pad(p.second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        n = run('z');
        out += Pad(p.millisecond, n >= 3 ? 3 : 1);
        break;
      default:
        if (c == '/') {
          out += dateSeparator;
        } else if (c == ':') {
          out += timeSeparator;
        } else if (c == '\'' || c == '"') {
          const auto end = pattern.find(c, i + 1);
          const auto stop = end == std::string_view::npos ? pattern.size() : end;
          out.append(pattern.substr(i + 1, stop - i - 1));
          n = (stop == pattern.size() ? stop : stop + 1) - i;
          break;
        } else {
          out += c;
        }
        n = 1;
    }
    i += n;
  }
  return out;
}

namespace {

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
      if (AsciiUpper(text[pos + i]) != word[i]) return false;
    }
    pos += word.size();
    return true;
  }
};

// The order of day, month and year in a date format, as the letters 'D', 'M', 'Y'.
std::array<char, 3> DateOrder(std::string_view format) {
  std::string seen;
  for (const char c : format) {
    const char u = AsciiUpper(c);
    if ((u == 'D' || u == 'M' || u == 'Y') && seen.find(u) == std::string::npos) seen += u;
  }
  if (seen.size() == 3) return {seen[0], seen[1], seen[2]};
  const char first = seen.empty() ? 'M' : seen[0];
  if (first == 'D') return {'D', 'M', 'Y'};
  if (first == 'Y') return {'Y', 'M', 'D'};
  return {'M', 'D', 'Y'};
}

int CurrentYear() { return DecodeDateTime(Now()).year; }

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
  return EncodeDate(year, month, day);
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
  return EncodeTime(hour, minute, second, 0);
}

}  // namespace zephron::platform
