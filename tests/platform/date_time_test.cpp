#include <gtest/gtest.h>

#include <filesystem>

#include "platform/date_time.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

TEST(DateTime, DaysCountFromTheLastDayOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30).value(), 0.0);
  EXPECT_EQ(EncodeDate(1980, 1, 1).value(), 29221.0);
  EXPECT_FALSE(EncodeDate(2023, 2, 29));
  EXPECT_TRUE(EncodeDate(2024, 2, 29));
  EXPECT_FALSE(EncodeTime(24, 0, 0, 0));
}

TEST(DateTime, FormatsTheLogPatterns) {
  const TDateTime value = *EncodeDate(2013, 12, 25) + *EncodeTime(14, 3, 59, 7);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", value), "25/12/2013 14:03:59");
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss:zzz", value), "25/12/2013 14:03:59:007");
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", value), "25/12/13 14:3:59");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", value, '.'), "2013-12-25");
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy", value, '.'), "25.12.2013");
  EXPECT_EQ(FormatDateTime("'at' hh", value), "at 14");
}

TEST(DateTime, DecodingRoundsToWholeMilliseconds) {
  const TDateTime almostMidnight = *EncodeDate(2020, 5, 31) + *EncodeTime(23, 59, 59, 999);
  const DateTimeParts parts = DecodeDateTime(almostMidnight);
  EXPECT_EQ(parts.day, 31);
  EXPECT_EQ(parts.hour, 23);
  EXPECT_EQ(parts.millisecond, 999);
}

TEST(DateTime, LocalTimeSurvivesTheSystemClock) {
  const TDateTime value = *EncodeDate(2021, 7, 14) + *EncodeTime(9, 30, 15, 250);
  EXPECT_NEAR(FromTimePoint(ToTimePoint(value)), value, 1e-9);
}

TEST(DateTime, FileTimeIsTheLastWriteTimeInLocalTime) {
  test::Sandbox sandbox;
  const auto file = sandbox.root() / "f.txt";
  test::WriteFile(file, "x");
  const TDateTime stamp = *EncodeDate(2019, 3, 2) + *EncodeTime(8, 7, 6, 0);
  std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(ToTimePoint(stamp)));
  EXPECT_NEAR(*FileDateTime(file), stamp, 1e-9);
  EXPECT_FALSE(FileDateTime(sandbox.root() / "missing"));
}

// A date as EncodeDate gives it.
TDateTime Date(int y, int m, int d) { return *EncodeDate(y, m, d); }

TEST(ParseDateTextTest, FieldOrderComesFromTheFormat) {
  EXPECT_EQ(ParseDateText("03/04/2026", "dd/mm/yyyy", '/'), Date(2026, 4, 3));
  EXPECT_EQ(ParseDateText("03/04/2026", "mm/dd/yyyy", '/'), Date(2026, 3, 4));
  EXPECT_EQ(ParseDateText("2026.04.03", "yyyy/mm/dd", '.'), Date(2026, 4, 3));
  EXPECT_EQ(ParseDateText("2026-03-04", "yyyy/dd/mm", '-'), Date(2026, 4, 3));
  EXPECT_EQ(ParseDateText("3/4/2026", "d/m/yyyy", '/'), Date(2026, 4, 3));
  EXPECT_EQ(ParseDateText(" 3 / 4 / 2026 ", "d/m/yyyy", '/'), Date(2026, 4, 3));
}

TEST(ParseDateTextTest, OnlyTheGivenSeparatorSeparates) {
  EXPECT_FALSE(ParseDateText("03-04-2026", "dd/mm/yyyy", '/'));
  EXPECT_EQ(ParseDateText("03-04-2026", "dd/mm/yyyy", '-'), Date(2026, 4, 3));
}

TEST(ParseDateTextTest, InvalidDatesAreRejected) {
  for (const char* text : {"", "31/02/2026", "00/01/2026", "01/13/2026", "1/2/3/4", "a/b/c", "01/01/2026x",
                           "01/01/20260", "29/02/2025", "01//2026"}) {
    EXPECT_FALSE(ParseDateText(text, "dd/mm/yyyy", '/', 2026)) << text;
  }
  EXPECT_EQ(ParseDateText("29/02/2024", "dd/mm/yyyy", '/'), Date(2024, 2, 29));
}

TEST(ParseDateTextTest, TwoDigitYearsLieWithinFiftyYearsOfNow) {
  EXPECT_EQ(ParseDateText("01/01/26", "dd/mm/yy", '/', 2026), Date(2026, 1, 1));
  EXPECT_EQ(ParseDateText("01/01/76", "dd/mm/yy", '/', 2026), Date(1976, 1, 1));
  EXPECT_EQ(ParseDateText("01/01/75", "dd/mm/yy", '/', 2026), Date(2075, 1, 1));
  EXPECT_EQ(ParseDateText("01/01/99", "dd/mm/yy", '/', 2060), Date(2099, 1, 1));
  EXPECT_EQ(ParseDateText("01/01/09", "dd/mm/yy", '/', 2060), Date(2109, 1, 1));
  // Three digits are a year as written.
  EXPECT_EQ(ParseDateText("01/01/075", "dd/mm/yyyy", '/', 2026), Date(75, 1, 1));
}

TEST(ParseDateTextTest, MissingYearIsTheCurrentYear) {
  EXPECT_EQ(ParseDateText("03/04", "dd/mm/yyyy", '/', 2031), Date(2031, 4, 3));
  EXPECT_EQ(ParseDateText("04/03", "yyyy/mm/dd", '/', 2031), Date(2031, 4, 3));
}

TEST(ParseTimeTextTest, HoursMinutesAndOptionalSeconds) {
  EXPECT_EQ(ParseTimeText("14:05", ':'), *EncodeTime(14, 5, 0, 0));
  EXPECT_EQ(ParseTimeText("14:05:09", ':'), *EncodeTime(14, 5, 9, 0));
  EXPECT_EQ(ParseTimeText("7.30", '.'), *EncodeTime(7, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("2:30 PM", ':'), *EncodeTime(14, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("12:10 am", ':'), *EncodeTime(0, 10, 0, 0));
  for (const char* text : {"", "14", "24:00", "12:60", "14:05:60", "14-05", "13:00 PM", "1:00 XM", "14:05:"}) {
    EXPECT_FALSE(ParseTimeText(text, ':')) << text;
  }
}

}  // namespace
}  // namespace zephron::platform
