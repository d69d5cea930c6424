// Whole update runs over a folder location: the steps in their order, the
// texts that can stop them, the restart handed to the setup program with
// its command line and settings file, and the threaded run.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/profile.h"
#include "tests/fileupdate/update_fixture.h"
#include "transfer/messages.h"
#include "ui/main_thread.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class UpdateRun : public UpdateFixture {
 protected:
  void SetUp() override {
    UpdateFixture::SetUp();
    site = sandbox.root() / "site";
    fs::create_directories(site);
    engine.UpdateType = fileUpdate;
    engine.URL = (site / "app.inf").string();
    engine.Logging = true;
    engine.OnAppRestart = [this](TZephron&, bool& allow) {
      events.push_back("restart");
      allow = true;
    };
    engine.OnAppDoClose = [this](TZephron&) { events.push_back("close"); };
    engine.OnSuccess = [this](TZephron&) { events.push_back("success"); };
    // Stands in for the setup program the engine writes out: records its command line.
    fs::copy_file(ChildProgram(), sandbox.temp() / "zephronsetup.exe");
    sandbox.SetEnv("ZEPHRON_TEST_CHILD_RECORD", (work / "setup.args").string());
  }
  // A control file whose one entry is an application component.
  void PublishComponent(const std::vector<std::string>& application, const std::vector<Section>& more = {}) {
    WriteFile(site / "app.exe", "new program");
    std::vector<Section> sections{{"update", {"unconditional=1"}},
                                  {"application", application},
                                  {"files", {"count=1"}},
                                  {"file1", {"url=" + (site / "app.exe").string(), "targetdir=" + app.string()}}};
    sections.insert(sections.end(), more.begin(), more.end());
    WriteFile(site / "app.inf", ControlFile(sections));
  }
  // The setup program's arguments, once it has written their line.
  std::string SetupArguments() {
    std::string line;
    for (int i = 0; i < 500 && !(line = ReadFile(work / "setup.args")).ends_with('\n'); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return line;
  }

  fs::path site;
  std::vector<std::string> events;
};

TEST_F(UpdateRun, ComponentUpdateHandsTheRestartToTheSetupProgram) {
  PublishComponent({"appupdate=1", "appname=app.exe", "appcomps=app.exe"});
  engine.DoUpdate(false);
  EXPECT_EQ(events, (std::vector<std::string>{"success", "restart", "close"}));
  const std::vector<int> idents = engine.Idents();
  ASSERT_GE(idents.size(), 6u);
  EXPECT_EQ(std::vector<int>(idents.begin(), idents.begin() + 6),
            (std::vector<int>{msgStartUpdate, msgOsVersion, msgIeVersion, msgCompiler, msgInstalledIdes, msgStartProcess}));
  EXPECT_EQ(engine.Find(msgStartUpdate)->arg, "Non threaded update");
  EXPECT_EQ(engine.Find(msgIeVersion)->arg, "(not found)");
  EXPECT_EQ(engine.Find(msgStartProcess)->arg, "2.2.0.2");
  EXPECT_NE(engine.Find(msgFinishedControlFile), nullptr);

  const std::string tmp = sandbox.temp().generic_string() + "/";
  const std::string pid = std::to_string(::getpid());
  EXPECT_EQ(engine.Find(msgSpawn)->arg, pid + " L " + app.generic_string() + "/app.exe \" \" \"" + tmp + "\" app.exe");
  EXPECT_EQ(SetupArguments(), "[" + pid + "][L][" + app.generic_string() + "/app.exe][ ][" + tmp + "][app.exe]\n");
  EXPECT_EQ(ReadFile(tmp + "app.exe"), "new program") << "the component waits for the setup program";
  EXPECT_EQ(platform::ReadProfileString((sandbox.documents() / "ZEPHRON.INI").string(), "CONFIG", "LOGFILENAME", ""),
            EngineLogPath());
}

TEST_F(UpdateRun, RestartCommandLineQuotesBlanksInFolderAndParameter) {
  const fs::path spaced = sandbox.root() / "my app";
  fs::create_directories(spaced);
  fs::current_path(spaced);
  engine.Logging = false;
  PublishComponent({"appupdate=1", "appname=app.exe", "appparam=-x y", "appcomps=app.exe"});
  engine.DoUpdate(false);
  const std::string tmp = sandbox.temp().generic_string() + "/";
  EXPECT_EQ(engine.Find(msgSpawn)->arg, std::to_string(::getpid()) + " X \"" + spaced.generic_string() +
                                            "/app.exe\" \"-x y\" \"" + tmp + "\" app.exe");
  EXPECT_EQ(SetupArguments(),
            "[" + std::to_string(::getpid()) + "][X][" + spaced.generic_string() + "/app.exe][-x y][" + tmp + "][app.exe]\n");
}

TEST_F(UpdateRun, RefusedRestartQuestionStartsNothing) {
  engine.OnAppRestart = nullptr;
  PublishComponent({"appupdate=1", "appname=app.exe", "appcomps=app.exe"});
  engine.dialogs.Answer(ui::DialogResult::No);
  engine.DoUpdate(false);
  ASSERT_FALSE(engine.dialogs.shown().empty());
  EXPECT_EQ(engine.dialogs.shown().back().text, "Shutdown application to update executable files ?");
  EXPECT_EQ(engine.Find(msgSpawn), nullptr);
  EXPECT_EQ(events, std::vector<std::string>{"success"});
}

TEST_F(UpdateRun, RefusedAgreementInstallsNothingAndForbidsTheRestart) {
  WriteFile(site / "eula.txt", "terms");
  PublishComponent({"appupdate=1", "appname=app.exe", "appcomps=app.exe"},
                   {{"eula", {"file=" + (site / "eula.txt").string()}}});
  engine.DoUpdate(false);
  ASSERT_EQ(engine.dialogs.agreementsShown().size(), 1u);
  EXPECT_FALSE(fs::exists(sandbox.temp() / "app.exe"));
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(engine.AppClose());
}

TEST_F(UpdateRun, FailedDownloadWithholdsSuccessAndRestart) {
  PublishComponent({"appupdate=1", "appname=app.exe", "appcomps=app.exe"});
  fs::remove(site / "app.exe");
  engine.DoUpdate(false);
  EXPECT_TRUE(events.empty());
  EXPECT_NE(engine.Find(msgCannotDownloadUpdate), nullptr);
}

TEST_F(UpdateRun, NothingNewEndsWithoutActionsUnlessForced) {
  WriteFile(app / "app.exe", "same");
  WriteFile(site / "app.inf", ControlFile({{"update", {"localversion=" + (app / "app.exe").string(), "newsize=4"}},
                                           {"action", {"msg=Hello"}}}));
  engine.DoUpdate(false);
  EXPECT_TRUE(engine.dialogs.shown().empty());
  engine.ForceUpdate = true;
  engine.DoUpdate(false);
  ASSERT_EQ(engine.dialogs.shown().size(), 1u);
  EXPECT_EQ(engine.dialogs.shown()[0].text, "Hello");
  EXPECT_EQ(engine.Find(msgFinishedControlFile), nullptr) << "no file entries: no after-actions";
}

TEST_F(UpdateRun, ThreadedRunRestartsOnlyAfterThreadDoneOnTheMainThread) {
  PublishComponent({"appupdate=1", "appname=app.exe", "appcomps=app.exe"});
  const auto mainThread = std::this_thread::get_id();
  bool done = false;  // read and written on this thread only
  engine.OnThreadUpdateDone = [&](TZephron&) {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    events.push_back("done");
    done = true;
  };
  engine.DoThreadUpdate(false);
  while (!done) ui::DefaultMainThread().WaitAndRun();
  EXPECT_EQ(events, (std::vector<std::string>{"success", "done", "restart", "close"}));
  EXPECT_EQ(engine.Find(msgStartUpdate)->arg, "Threaded update");
  EXPECT_NE(engine.Find(msgRestartAfterThreaded), nullptr);
  EXPECT_EQ(engine.Count(msgSpawn), 1);
}

}  // namespace
}  // namespace zephron::test
