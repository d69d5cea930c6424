// Release dates: the engine's date and time formats, the century window,
// and the stored date of the installed release with its round trip.
#include <atomic>
#include <thread>

#include "engine/update_date.h"
#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {
namespace {

using platform::TDateTime;

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
  EXPECT_EQ(ParseTimeText("14:05", ':'), *platform::EncodeTime(14, 5, 0, 0));
  EXPECT_EQ(ParseTimeText("14:05:09", ':'), *platform::EncodeTime(14, 5, 9, 0));
  EXPECT_EQ(ParseTimeText("7.30", '.'), *platform::EncodeTime(7, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("2:30 PM", ':'), *platform::EncodeTime(14, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("12:10 am", ':'), *platform::EncodeTime(0, 10, 0, 0));
  for (const char* text : {"", "14", "24:00", "12:60", "14:05:60", "14-05", "13:00 PM", "1:00 XM", "14:05:"}) {
    EXPECT_FALSE(ParseTimeText(text, ':')) << text;
  }
}

TEST(ParseUpdateDateTest, BadDateFallsBackTo1980AndBadTimeAddsNothing) {
  const DateTimeFormat format;
  EXPECT_EQ(ParseUpdateDate("15/03/2026", "10:30", format), Date(2026, 3, 15, 10, 30));
  EXPECT_EQ(ParseUpdateDate("15/03/2026", "", format), Date(2026, 3, 15));
  EXPECT_EQ(ParseUpdateDate("15/03/2026", "late", format), Date(2026, 3, 15));
  EXPECT_EQ(ParseUpdateDate("2026-03-15", "10:30", format), Date(1980, 1, 1, 10, 30));
  EXPECT_EQ(ParseUpdateDate("", "", format), Date(1980, 1, 1));
}

TEST(ParseUpdateDateTest, EngineFormatsAreUsed) {
  TZephron engine;
  engine.DateFormat = "mm-dd-yyyy";
  engine.DateSeparator = '.';
  engine.TimeSeparator = '.';
  EXPECT_EQ(engine.ParseUpdateDate("03.15.2026", "10.30"), Date(2026, 3, 15, 10, 30));
}

TEST(ParseUpdateDateTest, ThreadsWithDifferentFormatsDoNotDisturbEachOther) {
  std::atomic<int> wrong = 0;
  auto parse = [&](DateTimeFormat format, std::string date, std::string time, TDateTime expected) {
    for (int i = 0; i < 20000; ++i) {
      if (ParseUpdateDate(date, time, format) != expected) ++wrong;
    }
  };
  std::thread a(parse, DateTimeFormat{"dd/mm/yyyy", '/', "hh:nn", ':'}, "03/04/2026", "10:30",
                Date(2026, 4, 3, 10, 30));
  std::thread b(parse, DateTimeFormat{"mm/dd/yyyy", '-', "hh:nn", '.'}, "03-04-2026", "11.45",
                Date(2026, 3, 4, 11, 45));
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
}

class StoredDate : public ::testing::Test {
 protected:
  Sandbox sandbox;
  CheckEngine engine;
};

TEST_F(StoredDate, RoundTripInTheFixedFormat) {
  UseRegistryPlace(engine);
  engine.UpdateDatePut(Date(2026, 3, 15, 10, 30, 5));
  EXPECT_EQ(StoredValue("LastDate"), "2026-03-15");
  EXPECT_EQ(StoredValue("LastTime"), "10:30:05");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 15, 10, 30, 5));
  EXPECT_TRUE(engine.SaveUpdate());
}

TEST_F(StoredDate, ChangedEngineFormatsDoNotChangeTheStoredDate) {
  UseRegistryPlace(engine);
  engine.UpdateDatePut(Date(2026, 3, 4, 9, 0));
  engine.DateFormat = "mm/dd/yyyy";
  engine.DateSeparator = '.';
  engine.TimeSeparator = '.';
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 4, 9, 0));
}

TEST_F(StoredDate, MidnightWritesNoTimeAndDropsAnEarlierOne) {
  UseRegistryPlace(engine);
  engine.UpdateDatePut(Date(2026, 3, 15, 18, 0));
  engine.UpdateDatePut(Date(2026, 4, 1));
  EXPECT_EQ(StoredValue("LastDate"), "2026-04-01");
  EXPECT_EQ(StoredValue("LastTime"), std::nullopt);
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 4, 1));
}

TEST_F(StoredDate, ValuesOfOlderInstallationsAreStillRead) {
  UseRegistryPlace(engine);
  // In the engine's own format first...
  engine.DateFormat = "mm/dd/yyyy";
  engine.DateSeparator = '.';
  StoreValue("LastDate", "03.04.2026");
  StoreValue("LastTime", "10:30");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 4, 10, 30));
  // ...then day/month/year.
  StoreValue("LastDate", "15/03/2026");
  StoreValue("LastTime", "10:30:00 PM");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 15, 22, 30));
  // A short year in an engine format with "-" is not mistaken for the fixed format.
  engine.DateFormat = "dd/mm/yy";
  engine.DateSeparator = '-';
  StoreValue("LastDate", "09-12-26");
  StoreValue("LastTime", "");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 12, 9));
}

TEST_F(StoredDate, UnreadableDateKeepsThePresetAndIgnoresTheTime) {
  UseRegistryPlace(engine);
  StoreValue("LastDate", "someday");
  StoreValue("LastTime", "10:30");
  EXPECT_EQ(engine.UpdateDateGet(), Date(1980, 1, 1));
  StoreValue("LastDate", "2026-03-15");
  StoreValue("LastTime", "noon");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 15));
}

TEST_F(StoredDate, ReadEvenWithoutSaveButWrittenOnlyWithSave) {
  UseRegistryPlace(engine, false);
  engine.UpdateDatePut(Date(2026, 3, 15));
  EXPECT_EQ(StoredValue("LastDate"), std::nullopt);
  StoreValue("LastDate", "2026-03-15");
  EXPECT_EQ(engine.UpdateDateGet(), Date(2026, 3, 15));
  EXPECT_TRUE(engine.SaveUpdate());
}

TEST_F(StoredDate, MachineHiveWhenAskedFor) {
  UseRegistryPlace(engine);
  engine.LastURLEntry.RegRoot = lurLOCALMACHINE;
  engine.UpdateDatePut(Date(2026, 3, 15));
  EXPECT_EQ(StoredValue("LastDate"), std::nullopt);
  auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine, std::string(kKey) + "\\" + kSection);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("LastDate"), "2026-03-15");
}

TEST_F(StoredDate, WithoutRegistryPlaceTheLocalFileTimeOrThePreset) {
  EXPECT_EQ(engine.UpdateDateGet(), Date(1980, 1, 1));
  EXPECT_FALSE(engine.SaveUpdate());
}

}  // namespace
}  // namespace zephron::test
