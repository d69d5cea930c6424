#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

TEST(SpecialFolders, FollowTheXdgConventions) {
  test::Sandbox sandbox;
  EXPECT_EQ(DocumentsFolder(), sandbox.documents().string());
  EXPECT_EQ(AppDataFolder(), sandbox.appData().string());
  EXPECT_EQ(LocalAppDataFolder(), sandbox.localAppData().string());
  EXPECT_EQ(TempFolder(), sandbox.temp().string() + "/");
}

TEST(SpecialFolders, FallBackToTheHomeFolder) {
  test::Sandbox sandbox;
  sandbox.SetEnv("XDG_CONFIG_HOME", std::nullopt);
  sandbox.SetEnv("XDG_DATA_HOME", std::nullopt);
  sandbox.SetEnv("XDG_DOCUMENTS_DIR", std::nullopt);
  sandbox.SetEnv("TMPDIR", std::nullopt);
  EXPECT_EQ(AppDataFolder(), sandbox.home().string() + "/.config");
  EXPECT_EQ(LocalAppDataFolder(), sandbox.home().string() + "/.local/share");
  EXPECT_EQ(DocumentsFolder(), sandbox.home().string() + "/Documents");
  EXPECT_EQ(TempFolder(), "/tmp/");
  test::WriteFile(sandbox.home() / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(DocumentsFolder(), sandbox.home().string() + "/Dokumente");
}

TEST(SpecialFolders, ShellFoldersKeyMovesThem) {
  test::Sandbox sandbox;
  auto key = RegistryKey::Create(Hive::CurrentUser, kShellFoldersKey);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("AppData", "/srv/appdata"));
  ASSERT_TRUE(key->WriteString("Personal", "/srv/docs"));
  ASSERT_TRUE(key->WriteString("Local AppData", "/srv/local"));
  EXPECT_EQ(AppDataFolder(), "/srv/appdata");
  EXPECT_EQ(DocumentsFolder(), "/srv/docs");
  EXPECT_EQ(LocalAppDataFolder(), "/srv/local");
}

TEST(SpecialFolders, WindowsAndSystemFoldersHaveOverridableDefaults) {
  test::Sandbox sandbox;
  sandbox.SetEnv("ZEPHRON_WINDOWS_DIR", std::nullopt);
  sandbox.SetEnv("ZEPHRON_SYSTEM_DIR", std::nullopt);
  EXPECT_EQ(WindowsFolder(), "/usr");
  EXPECT_EQ(SystemFolder(), "/usr/lib");
  sandbox.SetEnv("ZEPHRON_WINDOWS_DIR", "/sandbox/win/");
  EXPECT_EQ(WindowsFolder(), "/sandbox/win");
}

TEST(SpecialFolders, ProgramFolderHoldsTheRunningExecutable) {
  EXPECT_FALSE(ProgramFile().empty());
  EXPECT_EQ(ProgramFolder() + "/platform_tests", ProgramFile());
}

}  // namespace
}  // namespace zephron::platform
