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

}  // namespace
}  // namespace zephron::platform
