// The control file's actions before and after the downloads: their order,
// their events and dialogs, and the ways they stop an update.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/process.h"
#include "tests/fileupdate/update_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class Actions : public UpdateFixture {
 protected:
  void SetUp() override {
    UpdateFixture::SetUp();
    platform::SetDocumentOpener([this](const std::string& target) {
      events.push_back("open " + target);
      return true;
    });
    engine.OnStatus = [this](TZephron&, const std::string& text, int, int) { events.push_back("status " + text); };
    // A program of the actions: records its arguments, then ends.
    fs::copy_file(ChildProgram(), app / "run.exe");
    sandbox.SetEnv("ZEPHRON_TEST_CHILD_RECORD", (work / "ran").string());
  }
  void TearDown() override {
    platform::SetDocumentOpener(nullptr);
    UpdateFixture::TearDown();
  }
  // A browser "iexplore.exe" in the current folder, where it is found
  // first: the actions' program again, recording its arguments.
  void UseBrowser() { fs::copy_file(ChildProgram(), app / "iexplore.exe"); }
  // What the started programs recorded, once they have all written.
  std::string Ran(std::size_t lines) {
    for (int i = 0; i < 500; ++i) {
      const std::string text = ReadFile(work / "ran");
      if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(work / "ran");
  }

  std::vector<std::string> events;
};

TEST_F(Actions, BeforeActionsRunInOrderAndOnlyTheQueryStopsTheUpdate) {
  WriteFile(work / "page.html", "<html><title>Notes</title></html>");
  UseControlFile({{"action",
                   {"msg=Read this\\nfirst", "htmldlg=" + (work / "page.html").generic_string(),
                    "runbefore=" + (app / "run.exe").string(), "runbeforeparam=--before", "query=Go on?"}},
                  {"custom", {"processmsg=M", "processparam=P"}}});
  engine.OnSetAppParamBefore = [this](TZephron&, std::string& params) {
    events.push_back("params " + params);
    params = "--changed \"two words\"";
  };
  engine.OnCustomProcess = [this](TZephron&, const std::string& msg, const std::string& param) {
    events.push_back("custom " + msg + " " + param);
  };
  engine.SetAppClose(true);
  engine.dialogs.Answer(ui::DialogResult::Ok);
  engine.dialogs.Answer(ui::DialogResult::No);

  EXPECT_EQ(engine.HandleActions(), -1);
  EXPECT_FALSE(engine.AppClose());
  EXPECT_EQ(events, (std::vector<std::string>{"status Found message instruction", "status Found HTML dialog instruction",
                                              "params --before", "custom M P", "status Found query instruction"}));
  ASSERT_EQ(engine.dialogs.shown().size(), 2u);
  EXPECT_EQ(engine.dialogs.shown()[0].text, "Read this\nfirst");
  EXPECT_EQ(engine.dialogs.shown()[1].buttons, ui::MessageButtons::YesNo);
  EXPECT_EQ(engine.dialogs.htmlPages(), std::vector<std::string>{(work / "page.html").generic_string()});
  EXPECT_EQ(Ran(1), "[--changed][two words]\n");
}

TEST_F(Actions, PageGoesToTheBrowserAfterTheCustomStepAndWithoutOneToTheDesktopsOpenerOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows starts the browser of its own folders, which a test cannot stand in for";
#endif
  UseControlFile({{"action", {"showURL=http://updates.example/news.html", "query=Go on?"}},
                  {"custom", {"processmsg=M", "processparam=P"}}});
  engine.OnCustomProcess = [this](TZephron&, const std::string& msg, const std::string& param) {
    events.push_back("custom " + msg + " " + param);
  };
  engine.dialogs.Answer(ui::DialogResult::Yes);
  EXPECT_EQ(engine.HandleActions(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"custom M P", "status Found URL show instruction",
                                              "open http://updates.example/news.html",
                                              "status Found query instruction"}));
  events.clear();
  UseBrowser();
  engine.dialogs.Answer(ui::DialogResult::Yes);
  EXPECT_EQ(engine.HandleActions(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"custom M P", "status Found URL show instruction",
                                              "status Found query instruction"}));
  EXPECT_EQ(Ran(1), "[-new][http://updates.example/news.html]\n");
}

TEST_F(Actions, YesToTheQueryOrNoActionsGoesOnAndCancellationStops) {
  UseControlFile({{"action", {"query=Go on?"}}});
  engine.dialogs.Answer(ui::DialogResult::Yes);
  EXPECT_EQ(engine.HandleActions(), 0);
  UseControlFile({});
  events.clear();
  EXPECT_EQ(engine.HandleActions(), 0);
  EXPECT_TRUE(events.empty());
  engine.SetCancelled();
  EXPECT_EQ(engine.HandleActions(), -1);
}

TEST_F(Actions, MissingHtmlPageShowsNothing) {
  UseControlFile({{"action", {"htmldlg=" + (work / "gone.html").string()}}});
  EXPECT_EQ(engine.HandleActions(), 0);
  EXPECT_TRUE(engine.dialogs.htmlPages().empty());
}

TEST_F(Actions, AfterActionsStoreTheDateAndTheNewLocationAndStartTheProgram) {
  UseRegistryPlace(engine);
  engine.SetSaveUpdate(true);
  engine.SetNewVersionDate(Date(2026, 11, 30, 8, 15));
  UseControlFile({{"action",
                   {"updateURL=http://new.example/app/", "runafter=" + (app / "run.exe").string(),
                    "runafterparam=--after"}}});
  engine.OnSetAppParamAfter = [](TZephron&, std::string& params) { params += " --done"; };
  EXPECT_EQ(engine.UpdateActions(), 0);
  EXPECT_EQ(StoredValue("LastDate"), "2026-11-30");
  EXPECT_EQ(StoredValue("LastTime"), "08:15:00");
  EXPECT_EQ(engine.URLGet(), "http://new.example/app/");
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgFoundUrlRedirection, msgFinishedControlFile}));
  EXPECT_EQ(Ran(1), "[--after][--done]\n");
}

TEST_F(Actions, RefusedPostResultStopsTheAfterActionsAndARefusedPostDoesNot) {
  engine.PostUpdateInfo.Enabled = true;
  engine.PostUpdateInfo.Server = "127.0.0.3";  // nothing listens there
  UseControlFile({{"action", {"runafter=" + (app / "run.exe").string()}}});
  bool allowPost = false;
  engine.OnBeforePost = [&](TZephron&, bool& allow) { allow = allowPost; };
  engine.OnProcessPostResult = [](TZephron&, bool& allow) { allow = false; };
  EXPECT_EQ(engine.UpdateActions(), 0);
  EXPECT_EQ(engine.Count(msgFinishedControlFile), 1);
  EXPECT_EQ(engine.Count(msgCannotConnectPost), 0) << "nothing was posted";
  EXPECT_EQ(Ran(1), "\n");

  allowPost = true;
  engine.reports.clear();
  EXPECT_EQ(engine.UpdateActions(), -1);
  EXPECT_EQ(engine.Count(msgFinishedControlFile), 0);

  engine.SetCancelled();
  EXPECT_EQ(engine.UpdateActions(), -1);
}

}  // namespace
}  // namespace zephron::test
