#include <algorithm>
#include <filesystem>

#include "app/instance.h"
#include "tests/driver/driver_fixture.h"

namespace zephron::test {
namespace {

class Cli : public DriverFixture {
 protected:
  ProcessResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(BuildDir() / "app/cli/zephron-cli").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
  }
  void UseLocation(const std::string& product) {
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
    ASSERT_TRUE(key && key->WriteString("UpdateURL", updates.string()));
  }
};

TEST_F(Cli, PrintsTheRowsAndTheStatusAndExitsTwoForNewVersions) {
  Install("Tendwell", "Tendwell.exe", "tw");
  UseLocation("Tendwell");
  Publish("tendwell", "[update]\nlocalversion=Tendwell.exe\nnewsize=10\nnewversion=4.0.0.1\n");
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 2) << result.output;
  EXPECT_EQ(result.output,
            "Tessel Server: not installed\n"
            "Olvane Server: not installed\n"
            "Vardel Quillon: not installed\n"
            "Tendwell: installed (not found), version 4.0.0.1 available\n"
            "Zephron: not installed\n"
            "New version(s) found\n");
}

TEST_F(Cli, FreshAccountWithoutShellFoldersOrCorvexisFolderChecksAndLogs) {
  auto folders = platform::RegistryKey::Create(platform::Hive::CurrentUser, platform::kShellFoldersKey);
  ASSERT_TRUE(folders && folders->DeleteValue("AppData") && folders->DeleteValue("Personal"));
  std::filesystem::remove_all(sandbox.appData());
  std::filesystem::remove_all(sandbox.documents());
  Install("Tendwell", "Tendwell.exe", "tw");
  UseLocation("Tendwell");
  Publish("tendwell", "[update]\nlocalversion=Tendwell.exe\nnewsize=10\nnewversion=4.0.0.1\n");
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 2) << result.output;
  EXPECT_NE(UpdaterLog().find("Zephron finished\r\n"), std::string::npos);
  EXPECT_NE(ReadFile(sandbox.documents() / "ZEPHRON.LOG").find("[9"), std::string::npos);
}

TEST_F(Cli, ExitsZeroWhenNothingIsNew) {
  Install("Tendwell", "Tendwell.exe", "tw");
  UseLocation("Tendwell");
  Publish("tendwell", "[update]\nlocalversion=Tendwell.exe\nnewsize=2\n");
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
}

TEST_F(Cli, ExitsOneWhenThePassEndsWithAnError) {
  Install("Tendwell", "Tendwell.exe", "tw");
  UseLocation("Tendwell");  // no control file published
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 1) << result.output;
}

TEST_F(Cli, DebugSwitchWritesTheDebugLines) {
  const ProcessResult result = Run({"--debug", "check"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(UpdaterLog().find("Install path is \r\n"), std::string::npos);
}

TEST_F(Cli, SecondInstanceExitsAtOnce) {
  const TInstanceClaim running = ClaimInstanceMutex(kInstanceMutexName);
  ASSERT_EQ(running.bits, 3);
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1);
  EXPECT_EQ(UpdaterLog(), "");
}

TEST_F(Cli, WarnsAndStillRunsItsPassWhenTheGuardIsOff) {
  const auto notAFolder = sandbox.root() / "not-a-folder";
  WriteFile(notAFolder, "");
  sandbox.SetEnv("ZEPHRON_MUTEX_DIR", notAFolder.string());
  const ProcessResult result = Run({"check"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("zephron-cli: Warning: the single-instance guard is off"), std::string::npos)
      << result.output;
  EXPECT_NE(UpdaterLog().find("the single-instance guard is off"), std::string::npos);
}

TEST_F(Cli, BadCommandLineIsRefused) {
  EXPECT_EQ(Run({}).exitCode, 1);
  EXPECT_EQ(Run({"update", "now"}).exitCode, 1);
}

}  // namespace
}  // namespace zephron::test
