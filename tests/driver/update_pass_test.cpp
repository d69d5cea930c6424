// The update pass: the question, the running-product guard, the update of
// each product found, Tendwell's executable replacement, and, through real
// processes and nginx, zephron-cli update handing files in use to the setup
// program, which replaces them after the updater has ended and restarts the
// application.
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/named_mutex.h"
#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class UpdatePass : public DriverFixture {
 protected:
  // Tendwell has a new release: one plain file and, in its application
  // section, the component that replaces its executable.
  void PublishTendwell() {
    const fs::path site = updates / "tendwell";
    WriteFile(site / "notes.txt", "release notes");
    WriteFile(site / "Tendwell.new", "new tendwell");
    Publish("tendwell", "[update]\nlocalversion=Tendwell.exe\nnewsize=12\nnewversion=2.0\n"
                        "[application]\nappcomps=Tendwell.new\nappname=Tendwell.exe\n"
                        "[files]\ncount=2\n[file1]\nurl=notes.txt\ndescr=Notes\n"
                        "[file2]\nurl=Tendwell.new\ndescr=Program\n");
  }
};

TEST_F(UpdatePass, NoToTheQuestionRunsNoPassAndEmptiesTheStatus) {
  const fs::path folder = Install("Tendwell", "Tendwell.exe", "tw");
  PublishTendwell();
  auto form = MakeForm();
  form->bCheckClick();
  ASSERT_EQ(form->UpdateInfo, "Tendwell: 2.0\r\n");
  view.Answer(false);
  form->bGetUpdatesClick();
  EXPECT_EQ(view.dialogs().back().text,
            "There are software updates available.\r\rTendwell: 2.0\r\n\r\rWould you like to update your installations now?");
  EXPECT_FALSE(fs::exists(folder / "notes.txt"));
  EXPECT_EQ(form->Status(), "");
}

TEST_F(UpdatePass, TendwellIsUpdatedAndItsExecutableReplaced) {
  const fs::path folder = Install("Tendwell", "Tendwell.exe", "tw");
  PublishTendwell();
  auto form = MakeForm();
  form->bCheckClick();
  view.Answer(true);
  form->bGetUpdatesClick();
  EXPECT_EQ(form->ErrorCode, 0) << view.status();
  EXPECT_EQ(ReadFile(folder / "notes.txt"), "release notes") << ReadFile(sandbox.documents() / "ZEPHRON.LOG");
  EXPECT_EQ(ReadFile(folder / "Tendwell.exe"), "new tendwell");
  EXPECT_FALSE(fs::exists(folder / "Tendwell.new"));
  EXPECT_TRUE(form->slNewVersions.Empty());
  const std::string log = UpdaterLog();
  EXPECT_NE(log.find("Deleting " + folder.string() + "/Tendwell.exe\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Renaming " + folder.string() + "/Tendwell.new to " + folder.string() + "/Tendwell.exe\r\n"),
            std::string::npos);
  EXPECT_EQ(view.dialogs().back().text, "Zephron finished");
}

TEST_F(UpdatePass, RunningProductIsAskedAboutUntilCancelAndKeepsItsEntry) {
  const fs::path folder = Install("Vardel Quillon", "Quillon.exe", "quillon");
  WriteFile(updates / "quillon/extra.txt", "extra");
  Publish("quillon",
          "[update]\nlocalversion=Quillon.exe\nnewsize=99\nnewversion=5.0\n[files]\ncount=1\n[file1]\nurl=extra.txt\n"
          "descr=Extra\n");
  auto form = MakeForm();
  form->bCheckClick();
  const platform::NamedMutex running("VardelQuillon");
  view.Answer(true);   // the update question
  view.Answer(true);   // Retry
  view.Answer(false);  // Cancel
  form->bGetUpdatesClick();
  int warnings = 0;
  for (const auto& dialog : view.dialogs()) {
    if (dialog.kind == ui::RecordingView::Dialog::RetryCancel) {
      EXPECT_EQ(dialog.text, "Application Vardel Quillon seems to be running.");
      ++warnings;
    }
  }
  EXPECT_EQ(warnings, 2);
  EXPECT_FALSE(fs::exists(folder / "extra.txt"));
}

// zephron-cli update from nginx, with the restart through the real setup
// program carried inside zephron-cli.
class CliUpdate : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    // The location's page: a base URL with a body is used itself.
    WriteFile(nginx.DocRoot() / "updates/index.html", "<html>updates</html>");
    const char* path = std::getenv("PATH");
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + ":" + (path ? path : "/usr/bin:/bin"));
  }
  ProcessResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(BuildDir() / "app/cli/zephron-cli").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
  }
  void Locate(const std::string& product, const std::string& url) {
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
    ASSERT_TRUE(key && key->WriteString("UpdateURL", url));
  }
  std::string Site(const std::string& path, const std::string& bytes) {
    WriteFile(nginx.DocRoot() / "updates" / path, bytes);
    return nginx.Url("/updates/" + path);
  }
  // Waits (bounded) for a file the restarted application writes.
  std::string Await(const fs::path& file) {
    for (int i = 0; i < 1000 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReadFile(file);
  }
  std::string Packed(const std::string& tool, const std::vector<std::string>& args, const fs::path& output) {
    const auto run = RunProgram(args);
    EXPECT_EQ(run.exitCode, 0) << tool << ": " << run.output;
    return ReadFile(output);
  }

  NginxServer nginx;
};

TEST_F(CliUpdate, ProductIsUpdatedAndItsApplicationReplacedAndRestartedByTheSetupProgram) {
  const fs::path work = sandbox.root() / "work";
  const std::string newProgram = "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/restarted.txt\"\n";
  const fs::path folder = Install("Vardel Quillon", "Quillon.exe", "#!/bin/sh\nexit 0\n");
  fs::permissions(folder / "Quillon.exe", fs::perms::owner_all);
  WriteFile(folder / "lib.exe", "library version one");
  Locate("Vardel Quillon", nginx.Url("/updates/"));

  WriteFile(work / "in/readme.txt", "read me");
  fs::current_path(work / "in");
  const std::string cab = Packed("gcab", {"gcab", "-c", (work / "docs.cab").string(), "readme.txt"}, work / "docs.cab");
  std::string data;
  for (int i = 0; i < 400; ++i) data += "data line " + std::to_string(i) + "\n";
  WriteFile(work / "data.txt", data);
  const std::string lz = Packed("mscompress", {"mscompress", (work / "data.txt").string()}, work / "data.txt_");
  WriteFile(work / "old.bin", "library version one");
  WriteFile(work / "new.bin", "library version two");
  const std::string patch = Packed("patcher",
                                   {(BuildDir() / "tools/patcher/patcher").string(), "make", (work / "old.bin").string(),
                                    (work / "new.bin").string(), (work / "lib.pat").string()},
                                   work / "lib.pat");
  Site("quillon/quillon.INF",
       "[update]\nlocalversion=Quillon.exe\nnewsize=" + std::to_string(newProgram.size()) + "\nnewversion=3.2\n"
       "[application]\nappupdate=1\nappname=Quillon.exe\nappparam=--restarted\nappcomps=Quillon.exe_NEW lib.pat\n"
       "[files]\ncount=4\n"
       "[file1]\nurl=" + Site("quillon/docs.cab", cab) + "\ncompressed=1\ndescr=Documents\n"
       "[file2]\nurl=" + Site("quillon/data.txt_", lz) + "\ncompressed=1\ndescr=Data\n"
       "[file3]\nurl=" + Site("quillon/Quillon.exe_NEW", newProgram) + "\ndescr=Program\n"
       "[file4]\nurl=lib.pat\ndescr=Library\n");
  Site("quillon/lib.pat", patch);

  const ProcessResult result = Cli({"update", "--yes"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("The setup program completes the update"), std::string::npos) << result.output;
  EXPECT_EQ(ReadFile(folder / "readme.txt"), "read me");
  EXPECT_TRUE(ReadFile(folder / "data.txt") == data);

  EXPECT_EQ(Await(folder / "restarted.txt"), "--restarted\n")
      << "the setup program restarted the application\n" << ReadFile(sandbox.documents() / "ZEPHRON.LOG");
  EXPECT_EQ(ReadFile(folder / "Quillon.exe"), newProgram);
  EXPECT_EQ(ReadFile(folder / "lib.exe"), "library version two");
  for (const char* leftover : {"Quillon.exe_NEW", "lib.pat", "zephronsetup.exe", "zephronsetup.ex_"}) {
    EXPECT_FALSE(fs::exists(folder / leftover)) << leftover << " is left in the installation";
  }
  const std::string engineLog = ReadFile(sandbox.documents() / "ZEPHRON.LOG");
  EXPECT_NE(engineLog.find(" : [000] UPD v2.0.4.0 started\r\n"), std::string::npos) << engineLog;
  EXPECT_NE(engineLog.find(" : [000] UPD has EXE restarted\r\n"), std::string::npos);

  const ProcessResult again = Cli({"check"});
  EXPECT_EQ(again.exitCode, 0) << again.output;
}

TEST_F(CliUpdate, RunningProductWithoutATerminalIsLeftAndReportedAsRemaining) {
  const fs::path folder = Install("Vardel Quillon", "Quillon.exe", "quillon");
  Locate("Vardel Quillon", nginx.Url("/updates/"));
  Site("quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\nnewversion=5.0\n[files]\ncount=1\n"
                              "[file1]\nurl=" + Site("quillon/extra.txt", "extra") + "\ndescr=Extra\n");
  const platform::NamedMutex running("VardelQuillon");
  const ProcessResult result = Cli({"update", "--yes"});
  EXPECT_EQ(result.exitCode, 2) << result.output;
  EXPECT_NE(result.output.find("Application Vardel Quillon seems to be running."), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "extra.txt"));
}

TEST_F(CliUpdate, FailedDownloadEndsWithStatusOneAndNoRestart) {
  const fs::path folder = Install("Vardel Quillon", "Quillon.exe", "quillon");
  Locate("Vardel Quillon", nginx.Url("/updates/"));
  Site("quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\nnewversion=5.0\n"
                              "[application]\nappupdate=1\nappname=Quillon.exe\nappcomps=Quillon.exe_NEW\n"
                              "[files]\ncount=1\n[file1]\nurl=gone.bin\ndescr=Gone\n");
  const ProcessResult result = Cli({"update", "--yes"});
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_EQ(result.output.find("setup program"), std::string::npos);
}

TEST_F(CliUpdate, AgreementIsRefusedWithoutAcceptLicenseAndAcceptedWithIt) {
  const fs::path folder = Install("Vardel Quillon", "Quillon.exe", "quillon");
  Locate("Vardel Quillon", nginx.Url("/updates/"));
  Site("quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\nnewversion=5.0\n"
                              "[eula]\nfile=" + Site("quillon/eula.txt", "You agree.") + "\n"
                              "[files]\ncount=1\n[file1]\nurl=" + Site("quillon/extra.txt", "extra") +
                              "\ndescr=Extra\n");
  const ProcessResult refused = Cli({"update", "--yes"});
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  EXPECT_NE(refused.output.find("You agree."), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "extra.txt"));
  const ProcessResult accepted = Cli({"update", "--yes", "--accept-license"});
  EXPECT_EQ(accepted.exitCode, 0) << accepted.output;
  EXPECT_EQ(ReadFile(folder / "extra.txt"), "extra");
}

}  // namespace
}  // namespace zephron::test
