#include <gtest/gtest.h>

#include <filesystem>

#include "app/instance.h"
#include "app/updater_log.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {
namespace fs = std::filesystem;

TEST(UpdaterLog, EveryEntryIsFollowedByAnEmptyLine) {
  test::Sandbox sandbox;
  fs::create_directories(sandbox.appData() / "Corvexis");
  const TUpdaterLog log(UpdaterLogFolderFor(sandbox.appData().string()), false);
  log.LogLine("a");
  log.LogLine("b");
  log.LogLine("");
  EXPECT_EQ(test::ReadFile(sandbox.appData() / "Corvexis/Corvexis Zephronzephron.log"),
            "a\r\n\r\nb\r\n\r\n\r\n\r\n");
  EXPECT_FALSE(fs::exists(sandbox.appData() / "Corvexis/Corvexis Zephron"));
}

TEST(UpdaterLog, DebugLinesOnlyInDebugMode) {
  test::Sandbox sandbox;
  fs::create_directories(sandbox.appData() / "Corvexis");
  const std::string folder = UpdaterLogFolderFor(sandbox.appData().string() + "/");
  TUpdaterLog(folder, false).LogDebug("hidden");
  TUpdaterLog(folder, true).LogDebug("shown");
  EXPECT_EQ(test::ReadFile(sandbox.appData() / "Corvexis/Corvexis Zephronzephron.log"), "shown\r\n\r\n");
}

TEST(UpdaterLog, FoldersMissingOnAFreshAccountAreCreated) {
  test::Sandbox sandbox;
  fs::remove_all(sandbox.appData());
  const TUpdaterLog log(UpdaterLogFolderFor(sandbox.appData().string()), false);
  EXPECT_TRUE(log.LogLine("x"));
  EXPECT_EQ(test::ReadFile(sandbox.appData() / "Corvexis/Corvexis Zephronzephron.log"), "x\r\n\r\n");
}

TEST(UpdaterLog, UnwritableLogLosesTheEntryWithoutRaising) {
  test::Sandbox sandbox;
  test::WriteFile(sandbox.appData() / "Corvexis", "a file where the folder should be");
  const TUpdaterLog log(UpdaterLogFolderFor(sandbox.appData().string()), false);
  EXPECT_FALSE(log.WriteFailed());
  EXPECT_FALSE(log.LogLine("x"));
  EXPECT_TRUE(log.WriteFailed());
  EXPECT_FALSE(UpdaterLogFolderFor("").empty());
  EXPECT_FALSE(TUpdaterLog(UpdaterLogFolderFor(""), false).LogLine("x")) << "nothing is made at the root";
  EXPECT_FALSE(fs::exists("/Corvexis"));
}

TEST(UpdaterLog, AppDataFolderFromTheShellFoldersKeyElseTheXdgFolder) {
  test::Sandbox sandbox;
  EXPECT_EQ(GetAppDataFolder(), sandbox.appData().string());
  auto key = platform::RegistryKey::Create(platform::Hive::CurrentUser, platform::kShellFoldersKey);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("AppData", (sandbox.root() / "roaming").string()));
  EXPECT_EQ(GetAppDataFolder(), (sandbox.root() / "roaming").string());
  EXPECT_EQ(UpdaterLogFolderFor(""), "/Corvexis\\Corvexis Zephron");
}

TEST(DebugMode, OnlyTheAccessCodeAloneSwitchesItOn) {
  const char* code[] = {"zephron", "qzkr5127"};
  const char* upper[] = {"zephron", "QZKR5127"};
  const char* more[] = {"zephron", "qzkr5127", "x"};
  const char* none[] = {"zephron"};
  EXPECT_TRUE(IsDebugCommandLine(2, code));
  EXPECT_FALSE(IsDebugCommandLine(2, upper));
  EXPECT_FALSE(IsDebugCommandLine(3, more));
  EXPECT_FALSE(IsDebugCommandLine(1, none));
}

TEST(SingleInstance, SecondClaimFindsBothNamesTaken) {
  test::Sandbox sandbox;
  sandbox.SetEnv("ZEPHRON_MUTEX_DIR", (sandbox.root() / "mutex").string());
  const TInstanceClaim first = ClaimInstanceMutex(kInstanceMutexName);
  EXPECT_EQ(first.bits, 3);
  const TInstanceClaim second = ClaimInstanceMutex(kInstanceMutexName);
  EXPECT_EQ(second.bits, 0);
}

}  // namespace
}  // namespace zephron
