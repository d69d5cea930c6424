#include "platform/date_time.h"

#include <cmath>
#include <ctime>
#include <system_error>

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
  localtime_r(&seconds, &local);
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

}  // namespace zephron::platform
