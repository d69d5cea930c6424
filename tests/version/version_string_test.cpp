// The version text the updater shows for an installed product.
#include "app/version_string.h"

#include <gtest/gtest.h>

#include "platform/version_info_writer.h"
#include "tests/support/sandbox.h"
#include "tests/version/pe_writer.h"

namespace zephron {
namespace {

class GetFileVersionStringTest : public ::testing::Test {
 protected:
  // An executable whose version resource holds these strings in one table,
  // with these translations.
  std::string Exe(std::vector<std::pair<std::string, std::string>> strings, std::uint16_t language = 0x0409,
                  std::uint16_t codePage = 0x04B0, std::vector<std::uint32_t> translations = {0x04B00409}) {
    platform::VersionInfoContent content;
    content.stringTables.push_back({language, codePage, std::move(strings)});
    content.translations = std::move(translations);
    const auto path = sandbox.root() / ("app" + std::to_string(++count_) + ".exe");
    test::WriteFile(path, test::MakePe(test::TypicalPe(*platform::BuildVersionInfo(content), count_ % 2 == 0)));
    return path.string();
  }
  test::Sandbox sandbox;

 private:
  int count_ = 0;
};

TEST_F(GetFileVersionStringTest, WellFormedFileVersionWins) {
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "3.0.0.12"}, {"ProductVersion", "4.1"}}), 4), "3.0.0.12");
}

TEST_F(GetFileVersionStringTest, ShortFileVersionGivesWayToProductVersion) {
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "2.1"}, {"ProductVersion", "2.1.0.7"}}), 4), "2.1.0.7");
  // The product version is taken unchecked.
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "beta"}, {"ProductVersion", "Release 7"}}), 4), "Release 7");
  EXPECT_EQ(GetFileVersionString(Exe({{"ProductVersion", "5.0"}}), 4), "5.0");
}

TEST_F(GetFileVersionStringTest, NotFoundWithoutUsableStrings) {
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "2.1"}}), 4), "not found");
  // An empty product version still has its terminating zero, so it is taken.
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", ""}, {"ProductVersion", ""}}), 4), "");
  EXPECT_EQ(GetFileVersionString(Exe({{"CompanyName", "Corvexis"}}), 4), "not found");
  // Without a translation the string table is not looked for.
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "1.0.0.0"}}, 0x0409, 0x04B0, {}), 4), "not found");
  EXPECT_EQ(GetFileVersionString((sandbox.root() / "missing.exe").string(), 4), "not found");
  EXPECT_EQ(GetFileVersionString("/proc/self/exe", 4), "not found");
}

TEST_F(GetFileVersionStringTest, FirstTranslationNamesTheTable) {
  platform::VersionInfoContent content;
  content.stringTables.push_back({0x0409, 0x04B0, {{"FileVersion", "1.1.1.1"}}});
  content.stringTables.push_back({0x0407, 0x04E4, {{"FileVersion", "2.2.2.2"}}});
  content.translations = {0x04E40407, 0x04B00409};
  const auto path = sandbox.root() / "german.exe";
  test::WriteFile(path, test::MakePe(test::TypicalPe(*platform::BuildVersionInfo(content), false)));
  EXPECT_EQ(GetFileVersionString(path.string(), 4), "2.2.2.2");
  // Upper-case hex digits: language 0x040C with code page 0x04E4 is table "040C04E4".
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "3.3.3.3"}}, 0x040C, 0x04E4, {0x04E4040C}), 4), "3.3.3.3");
  // A translation without a matching table.
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "3.3.3.3"}}, 0x0409, 0x04B0, {0x04E40407}), 4), "not found");
}

TEST_F(GetFileVersionStringTest, CutToParts) {
  const auto exe = Exe({{"FileVersion", "1.0.15.33"}});
  EXPECT_EQ(GetFileVersionString(exe, 4), "1.0.15.33");
  EXPECT_EQ(GetFileVersionString(exe, 3), "1.0.15");
  EXPECT_EQ(GetFileVersionString(exe, 2), "1.0");
  EXPECT_EQ(GetFileVersionString(exe, 1), "1");
  const auto missing = (sandbox.root() / "missing.exe").string();
  EXPECT_EQ(GetFileVersionString(missing, 3), "");
  // Cutting drops characters from the end until enough dots are gone.
  const auto twoParts = Exe({{"ProductVersion", "2.1"}});
  EXPECT_EQ(GetFileVersionString(twoParts, 3), "2");
  EXPECT_EQ(GetFileVersionString(twoParts, 2), "");
  EXPECT_EQ(GetFileVersionString(Exe({{"ProductVersion", "2.1.0"}}), 3), "2.1");
}

TEST_F(GetFileVersionStringTest, BlanksAroundTheTextAreTrimmed) {
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "  1.0.0.1 "}}), 4), "1.0.0.1");
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "\r\n1.2.3.4 "}}), 4), "1.2.3.4");
  // Line breaks count only before a field; after the last one the text is no number.
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "1.2.3.4\r\n"}, {"ProductVersion", "1.2"}}), 4), "1.2");
  EXPECT_EQ(GetFileVersionString(Exe({{"FileVersion", "2.1"}, {"ProductVersion", "\t2.1.0.7  "}}), 3), "2.1.0");
}

TEST_F(GetFileVersionStringTest, StampedExecutableShowsTheProjectVersion) {
  EXPECT_EQ(GetFileVersionString(ZEPHRON_STAMPED_SAMPLE, 4), ZEPHRON_PROJECT_VERSION);
  EXPECT_EQ(GetFileVersionString(ZEPHRON_STAMPED_SAMPLE, 3), "1.0.0");
}

TEST(WellFormedVersionTest, ThreeFieldsAndARemainderThatAreNumbers) {
  EXPECT_TRUE(IsWellFormedVersion("1.0.15.33"));
  EXPECT_FALSE(IsWellFormedVersion("1.0.15"));
  EXPECT_FALSE(IsWellFormedVersion("1.0.15."));
  EXPECT_FALSE(IsWellFormedVersion("1..15.33"));
  EXPECT_FALSE(IsWellFormedVersion("1,0,15,33"));
  EXPECT_FALSE(IsWellFormedVersion("1.0.15.33 beta"));
  EXPECT_FALSE(IsWellFormedVersion(""));
  // The remainder is one float, dots and exponents included.
  EXPECT_TRUE(IsWellFormedVersion("1.0.15.33.7"));
  EXPECT_TRUE(IsWellFormedVersion("1.0.15.3e2"));
  EXPECT_TRUE(IsWellFormedVersion("-1.+0.15.33"));
  // Blanks around each field, line breaks before each.
  EXPECT_TRUE(IsWellFormedVersion(" 1 . 0. 15 .33 "));
  EXPECT_TRUE(IsWellFormedVersion("\r\n1.\n0.\r15.\n33"));
  EXPECT_FALSE(IsWellFormedVersion("1\n.0.15.33"));
  EXPECT_FALSE(IsWellFormedVersion("\t1.0.15.33"));
}

TEST(WellFormedVersionTest, FloatSyntaxOfTheRunTimeLibrary) {
  for (const char* good : {"0", "12", "1.", ".5", "-3", "+3", "1e5", "1.5E-3", " 7 ", "00"}) {
    EXPECT_TRUE(IsFloatText(good)) << good;
  }
  for (const char* bad : {"", " ", ".", "-", "1e", "1e+", "1.2.3", "1,5", "0x10", "INF", "NAN", "1 2", "\t1"}) {
    EXPECT_FALSE(IsFloatText(bad)) << bad;
  }
}

}  // namespace
}  // namespace zephron
