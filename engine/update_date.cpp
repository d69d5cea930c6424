// Release dates: parsing in the engine's formats, and the persisted date of
// the installed release.
#include "engine/update_date.h"

#include <algorithm>
#include <cctype>

#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace zephron {

using platform::TDateTime;

TDateTime DefaultUpdateDate() { return *platform::EncodeDate(1980, 1, 1); }

TDateTime ParseUpdateDate(const std::string& date, const std::string& time, const DateTimeFormat& format) {
  TDateTime result = platform::ParseDateText(date, format.date, format.dateSeparator).value_or(DefaultUpdateDate());
  if (!time.empty()) result += platform::ParseTimeText(time, format.timeSeparator).value_or(0);
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
    if (auto d = platform::ParseDateText(text, kStoredDateFormat.date, kStoredDateFormat.dateSeparator)) return d;
  }
  if (auto d = platform::ParseDateText(text, engineFormat.date, engineFormat.dateSeparator)) return d;
  return platform::ParseDateText(text, "dd/mm/yyyy", '/');
}

std::optional<TDateTime> ParseStoredTime(std::string_view text, const DateTimeFormat& engineFormat) {
  if (auto t = platform::ParseTimeText(text, kStoredDateFormat.timeSeparator)) return t;
  return platform::ParseTimeText(text, engineFormat.timeSeparator);
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
