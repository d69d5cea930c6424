#include <gtest/gtest.h>

#include <memory>

#include "engine/zephron.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {

// Exposes the protected restart flags that a check and an update set.
class RestartProbe : public TZephron {
 public:
  void PretendRestartNeeded() {
    FAppClose = true;
    FAppCompsIncluded = true;
  }
};

TEST(EngineModel, NewEngineHasThePublishedDefaults) {
  TZephron engine;
  EXPECT_EQ(engine.Port, 21);
  EXPECT_TRUE(engine.UseWinTempDir);
  EXPECT_EQ(engine.TempDirectory, ".");
  EXPECT_EQ(engine.UpdateType, httpUpdate);
  EXPECT_EQ(engine.Authenticate, zaNever);
  EXPECT_EQ(engine.LogFileName(), "ZEPHRON.LOG");
  EXPECT_FALSE(engine.LastURLEntry.Save);
  EXPECT_TRUE(engine.LastURLEntry.Key.empty());
  EXPECT_TRUE(engine.LastURLEntry.Section.empty());
  EXPECT_EQ(engine.LastURLEntry.RegRoot, lurLOCALUSER);
  EXPECT_EQ(engine.Agent, "TZephron");
  EXPECT_EQ(engine.Signature, "Zephron");
  EXPECT_EQ(engine.DateFormat, "dd/mm/yyyy");
  EXPECT_EQ(engine.TimeFormat, "hh:nn");
  EXPECT_EQ(engine.DateSeparator, '/');
  EXPECT_EQ(engine.TimeSeparator, ':');
  EXPECT_EQ(engine.CertCheck, ccEnable);
  EXPECT_EQ(engine.UpdateConnect, zpcNoConnect);
  EXPECT_EQ(engine.UpdateUpdate, zpuPromptOnce);
  EXPECT_EQ(engine.VersionCheck, vcUpdateOnly);
  EXPECT_FALSE(engine.PostUpdateInfo.Enabled);
  EXPECT_FALSE(engine.Logging);
  EXPECT_FALSE(engine.Cancelled());
  EXPECT_FALSE(engine.InProgress());
  EXPECT_EQ(engine.Utility(), nullptr);
  EXPECT_EQ(engine.FileList().Count(), 0);
}

TEST(EngineModel, VersionIgnoresWrites) {
  TZephron engine;
  engine.SetVersion("9.9.9.9");
  EXPECT_EQ(engine.Version(), "2.2.0.2");
}

TEST(EngineModel, CancelWithdrawsTheRestart) {
  RestartProbe engine;
  engine.PretendRestartNeeded();
  EXPECT_TRUE(engine.AppNeedsRestart());
  engine.Cancel();
  EXPECT_TRUE(engine.Cancelled());
  EXPECT_FALSE(engine.AppNeedsRestart());
}

TEST(EngineModel, DestroyingTheUtilityClearsEveryReference) {
  TZephron first, second;
  {
    TZephronUtility utility;
    first.SetUtility(&utility);
    second.SetUtility(&utility);
    EXPECT_EQ(first.Utility(), &utility);
  }
  EXPECT_EQ(first.Utility(), nullptr);
  EXPECT_EQ(second.Utility(), nullptr);
}

TEST(EngineModel, EngineDestroyedBeforeItsUtilityIsForgotten) {
  auto utility = std::make_unique<TZephronUtility>();
  { TZephron engine; engine.SetUtility(utility.get()); }
  TZephron other;
  other.SetUtility(utility.get());
  // Destroying the utility must notify only the engine still alive (a
  // notification of the destroyed one would touch freed memory).
  utility.reset();
  EXPECT_EQ(other.Utility(), nullptr);
}

TEST(EngineModel, WinTempDirEndsInSeparator) {
  test::Sandbox sandbox;
  TZephron engine;
  EXPECT_EQ(engine.WinTempDir(), sandbox.temp().generic_string() + "/");
  engine.UseWinTempDir = false;
  EXPECT_EQ(engine.WinTempDir(), "./");
  engine.TempDirectory = "/var/dl/";
  EXPECT_EQ(engine.WinTempDir(), "/var/dl/");
}

TEST(FileList, SizesAreSignedThirtyTwoBitSums) {
  TFileList list;
  list.Add().FileSize = 100;
  list.Add().FileSize = 250;
  list.Add().FileSize = 2'000'000'000;
  list.Add().FileSize = 2'000'000'000;
  list.ActiveItem = 2;
  EXPECT_EQ(list.CompletedSize(), 350);
  // 4,000,000,350 wraps to a negative 32-bit value.
  EXPECT_EQ(list.TotalSize(), static_cast<std::int32_t>(4'000'000'350u));
}

TEST(FileList, InsertPlacesTheNewEntryAtTheIndex) {
  TFileList list;
  list.Add().Description = "a";
  list.Add().Description = "c";
  list.Insert(1).Description = "b";
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1).Description, "b");
  EXPECT_EQ(list.Items(1).NewCheckSum, -1);
  EXPECT_TRUE(list.Items(1).Preselect);
  list.Delete(0);
  EXPECT_EQ(list.Items(0).Description, "b");
}

}  // namespace
}  // namespace zephron
