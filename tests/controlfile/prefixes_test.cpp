// Directory prefixes: ExpandPrefixes, the built-in ConvertPrefix and its normalisation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {

// An engine whose folders are fixed by the test.
class FixedFolders : public TZephron {
 public:
  std::map<std::string, std::string> folders;
  std::vector<std::string> asked;
  std::string ConvertPrefix(const std::string& prefix) override {
    asked.push_back(prefix);
    const auto it = folders.find(prefix);
    return it == folders.end() ? TZephron::ConvertPrefix(prefix) : it->second;
  }
};

class Prefixes : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.SetEnv("ZEPHRON_WINDOWS_DIR", "/win");
    sandbox_.SetEnv("ZEPHRON_SYSTEM_DIR", "/win/system32");
    sandbox_.SetEnv("ProgramFiles", "/opt/programs");
  }
  // The folders as the platform gives them: on Windows the system's own,
  // elsewhere the ones set above.
  static std::string Win() { return platform::WindowsFolder(); }
  static std::string Sys() { return platform::SystemFolder(); }
  static std::string App() { return platform::ProgramFolder(); }

  test::Sandbox sandbox_;
  TZephron engine_;
};

TEST_F(Prefixes, EveryNameMapsToItsFolderEndingInDot) {
  EXPECT_EQ(engine_.ExpandPrefixes("{WIN}"), Win() + "/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{SYS}"), Sys() + "/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{APP}"), App() + "/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{TMP}"), sandbox_.temp().generic_string() + "/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{DOC}"), sandbox_.documents().generic_string() + "/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{PF}"), "/opt/programs/.");
  EXPECT_EQ(engine_.ExpandPrefixes("{LAD}"), sandbox_.localAppData().generic_string() + "/.");
}

TEST_F(Prefixes, FileNameAfterTokenLandsInTheFolder) {
  EXPECT_EQ(engine_.ExpandPrefixes("{APP}\\x.exe"), App() + "/.\\x.exe");
}

TEST_F(Prefixes, NamesMatchWithoutCase) {
  EXPECT_EQ(engine_.ExpandPrefixes("{app}\\x.exe"), engine_.ExpandPrefixes("{APP}\\x.exe"));
  EXPECT_EQ(engine_.ExpandPrefixes("{Win}"), Win() + "/.");
}

TEST_F(Prefixes, UnknownAndEmptyNamesBecomeTheCurrentFolder) {
  EXPECT_EQ(engine_.ExpandPrefixes("{FOO}\\x.exe"), ".\\x.exe");
  EXPECT_EQ(engine_.ExpandPrefixes("{}x"), ".x");
  sandbox_.SetEnv("ProgramFiles", std::nullopt);
  EXPECT_EQ(engine_.ExpandPrefixes("{PF}\\x"), ".\\x");
}

TEST_F(Prefixes, TempFolderFollowsTheEnginesDownloadFolder) {
  engine_.UseWinTempDir = false;
  engine_.TempDirectory = "/data/downloads";
  EXPECT_EQ(engine_.ExpandPrefixes("{TMP}\\a.cab"), "/data/downloads/.\\a.cab");
}

TEST_F(Prefixes, UnclosedTokenStaysAndBraceInsideTokenBelongsToTheName) {
  EXPECT_EQ(engine_.ExpandPrefixes("{APP\\x.exe"), "{APP\\x.exe");
  EXPECT_EQ(engine_.ExpandPrefixes("a}b{"), "a}b{");
  EXPECT_EQ(engine_.ExpandPrefixes("x{y{WIN}z"), "x.z");  // the name is "Y{WIN"
}

TEST_F(Prefixes, EveryTokenOfTheTextIsExpanded) {
  EXPECT_EQ(engine_.ExpandPrefixes("{WIN};{PF};{foo}"), Win() + "/.;/opt/programs/.;.");
}

TEST_F(Prefixes, MillionsOfTokensExpandInOnePassAndEachNameIsConvertedOnce) {
  FixedFolders engine;
  engine.folders["A"] = "/a/.";
  std::string text;
  std::string expected;
  for (int i = 0; i < 2000000; ++i) {
    text += i % 2 ? "{a}" : "{X}";
    expected += i % 2 ? "/a/." : ".";
  }
  EXPECT_EQ(engine.ExpandPrefixes(text), expected);
  EXPECT_EQ(engine.asked, (std::vector<std::string>{"X", "A"}));
}

TEST_F(Prefixes, TextWithoutTokensIsUnchanged) {
  EXPECT_EQ(engine_.ExpandPrefixes("http://host/dir/update.inf"), "http://host/dir/update.inf");
  EXPECT_EQ(engine_.ExpandPrefixes(""), "");
}

TEST_F(Prefixes, HandlerSeesTheWholeTextAlsoWhenEmptyAndCanRewriteIt) {
  std::vector<std::string> seen;
  engine_.OnConvertPrefix = [&](TZephron&, std::string& path) {
    seen.push_back(path);
    if (path == "old") path = "{WIN}\\new";
  };
  EXPECT_EQ(engine_.ExpandPrefixes(""), "");
  EXPECT_EQ(engine_.ExpandPrefixes("old"), Win() + "/.\\new");
  EXPECT_EQ(seen, (std::vector<std::string>{"", "old"}));
}

TEST_F(Prefixes, NameIsHandedToConvertPrefixInUpperCase) {
  FixedFolders engine;
  engine.ExpandPrefixes("{app}{Doc}{x{y}");
  EXPECT_EQ(engine.asked, (std::vector<std::string>{"APP", "DOC", "X{Y"}));
}

TEST_F(Prefixes, EmptyConversionLeavesTheTokenAndScanningGoesOn) {
  FixedFolders engine;
  engine.folders["KEEP"] = "";
  EXPECT_EQ(engine.ExpandPrefixes("{keep}\\{WIN}"), "{keep}\\" + Win() + "/.");
}

TEST_F(Prefixes, InsertedFolderIsNotExpandedAgain) {
  FixedFolders engine;
  engine.folders["LOOP"] = "{LOOP}";
  EXPECT_EQ(engine.ExpandPrefixes("{loop}\\x"), "{LOOP}\\x");
}

TEST_F(Prefixes, InsertedSystemFolderIsNotExpandedAgainOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows folder of Windows is the system's, not one a test can name";
#else
  sandbox_.SetEnv("ZEPHRON_WINDOWS_DIR", "/odd/{WIN}");
  EXPECT_EQ(engine_.ExpandPrefixes("{WIN}\\x"), "/odd/{WIN}/.\\x");
#endif
}

TEST_F(Prefixes, ProgramInTheRootFolderGivesRootAndDot) {
  EXPECT_EQ(NormalisePrefixFolder("/"), "/.");
  FixedFolders engine;
  engine.folders["APP"] = NormalisePrefixFolder("/");
  EXPECT_EQ(engine.ExpandPrefixes("{APP}\\x.exe"), "/.\\x.exe");
}

TEST(PrefixNormalisation, AddsSeparatorOnlyWhenMissing) {
  EXPECT_EQ(NormalisePrefixFolder("/opt/prog"), "/opt/prog/.");
  EXPECT_EQ(NormalisePrefixFolder("/tmp/"), "/tmp/.");
  EXPECT_EQ(NormalisePrefixFolder(""), ".");
}

TEST(LocalAppDataPrefix, MissingFolderRaisesTheEnginesError) {
  test::Sandbox sandbox;
  // Without a home (Linux) or a folder (Windows), there is no such folder.
  sandbox.SetEnv("XDG_DATA_HOME", std::nullopt);
  sandbox.SetEnv("HOME", std::nullopt);
  std::filesystem::remove_all(sandbox.localAppData());
  TZephron engine;
  try {
    engine.ExpandPrefixes("{LAD}\\x");
    FAIL() << "no error raised";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(), "Could not find Local Application Data folder location.");
  }
  // Other names still work without it.
  EXPECT_EQ(engine.ExpandPrefixes("{FOO}"), ".");
}

}  // namespace
}  // namespace zephron
