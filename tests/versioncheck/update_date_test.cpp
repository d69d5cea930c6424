// Release dates: the engine's date and time formats and the stored date of the installed release with its round trip.
#include <atomic>
#include <thread>

#include "engine/update_date.h"
#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {
namespace {

using platform::TDateTime;

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
