#include "platform/profile.h"
#include "tests/driver/driver_fixture.h"

namespace zephron::test {
namespace {

class Handlers : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    form = MakeForm();
  }
  std::unique_ptr<TformMain> form;
};

TEST_F(Handlers, NewVersionIsLoggedWithoutTouchingTheErrorCode) {
  form->ZephronStatus(form->Zephron, "New version found : 1.2", 5, 0);
  EXPECT_EQ(UpdaterLog(), "New version(s) found\r\n\r\n");
  EXPECT_EQ(form->ErrorCode, 0);
  EXPECT_TRUE(view.statusHistory().empty());
}

TEST_F(Handlers, PositiveErrorCodeSendsEveryLaterTextToTheStatusBar) {
  form->ZephronStatus(form->Zephron, "Cannot download update file : x", 2, 9);
  EXPECT_EQ(UpdaterLog(), "Update not available\r\n\r\n");
  EXPECT_EQ(form->ErrorCode, 9);
  EXPECT_EQ(form->Status(), "Cannot download update file : x");
  form->ZephronStatus(form->Zephron, "Closed Internet connection", 3, 0);
  EXPECT_EQ(form->ErrorCode, 9);
  EXPECT_EQ(form->Status(), "Closed Internet connection");
  form->ZephronStatus(form->Zephron, "lower", 3, -5);
  EXPECT_EQ(form->ErrorCode, 9) << "a negative code never lowers it";
}

TEST_F(Handlers, Http404IsNeitherAnErrorNorShown) {
  form->ZephronStatus(form->Zephron, "Http status : 404", 6, 404);
  EXPECT_EQ(form->ErrorCode, 0);
  EXPECT_TRUE(view.statusHistory().empty());
  EXPECT_EQ(UpdaterLog(), "") << "logged in debug mode only";
  form->ZephronStatus(form->Zephron, "Http status : 500", 6, 500);
  EXPECT_EQ(form->ErrorCode, 500);
  EXPECT_EQ(UpdaterLog(), "Http status : 500\r\n\r\n");
}

TEST_F(Handlers, StatusCodeThreeReachesTheLogOnlyWithVersionInDebugMode) {
  form->ZephronStatus(form->Zephron, "Version check : x", 3, 0);
  form->ZephronStatus(form->Zephron, "Download : x", 3, 0);
  EXPECT_EQ(UpdaterLog(), "");
  auto debugForm = MakeForm(true);
  debugForm->ZephronStatus(debugForm->Zephron, "Version check : x", 3, 0);
  debugForm->ZephronStatus(debugForm->Zephron, "Download : x", 3, 0);
  debugForm->ZephronStatus(debugForm->Zephron, "Spawn x", 0, 0);
  debugForm->ZephronStatus(debugForm->Zephron, "Http status : 404", 6, 404);
  debugForm->ZephronStatus(debugForm->Zephron, "Found HTML dialog instruction", 7, 0);
  EXPECT_EQ(UpdaterLog(), "Version check : x\r\n\r\nUpdate not available\r\n\r\nFound HTML dialog instruction\r\n\r\n");
}

TEST_F(Handlers, ProgressBarShowsWholePercents) {
  form->ZephronFileProgress(form->Zephron, "f", 512, 0);
  EXPECT_FALSE(view.ProgressVisible());
  EXPECT_TRUE(view.progressHistory().empty());
  form->ZephronFileProgress(form->Zephron, "f", 512, 2048);
  EXPECT_TRUE(view.ProgressVisible());
  EXPECT_EQ(view.progress(), 25);
  form->ZephronFileProgress(form->Zephron, "f", 2047, 2048);
  EXPECT_EQ(view.progress(), 99);
  form->ZephronFileProgress(form->Zephron, "f", 2048, 2048);
  EXPECT_EQ(view.progress(), 100);
  form->ZephronFileDownloaded(form->Zephron, "f");
  EXPECT_FALSE(view.ProgressVisible());
  EXPECT_EQ(view.progress(), 0);
}

TEST_F(Handlers, FileUrlsBecomeAbsoluteBesideTheControlFile) {
  form->Zephron.URL = "http://host/updates/quillon/quillon.INF";
  form->Zephron.FileList().Add().URL = "Quillon.cab";
  std::vector<std::string> list;
  form->ZephronGetFileList(form->Zephron, list);
  EXPECT_EQ(form->Zephron.FileList().Items(0).URL, "http://host/updates/quillon/Quillon.cab");

  form->Zephron.URL = "quillon.INF";  // an FTP location
  form->Zephron.FileList().Items(0).URL = "Quillon.cab";
  form->ZephronGetFileList(form->Zephron, list);
  EXPECT_EQ(form->Zephron.FileList().Items(0).URL, "Quillon.cab");
}

TEST_F(Handlers, ApplicationSectionIsTakenOutOfTheTendwellControlFile) {
  const auto file = sandbox.root() / "tendwell.INF";
  WriteFile(file, "[update]\r\nnewsize=5\r\n[application]\r\nappcomps=Tendwell.new\r\nappname=Tendwell.exe\r\n[files]\r\ncount=0\r\n");
  form->ReadApplicationSection(file.string());
  EXPECT_EQ(form->RenameFrom, "Tendwell.new");
  EXPECT_EQ(form->RenameTo, "Tendwell.exe");
  EXPECT_EQ(ReadFile(file), "[update]\r\nnewsize=5\r\n[files]\r\ncount=0\r\n");
  form->ReadApplicationSection((sandbox.root() / "missing.INF").string());
  EXPECT_EQ(form->RenameFrom, "");
}

TEST_F(Handlers, RestartIsGrantedAndRemembered) {
  bool allow = false;
  form->ZephronAppRestart(form->Zephron, allow);
  EXPECT_TRUE(allow);
  EXPECT_TRUE(form->AppUpdated);
}

TEST_F(Handlers, BusyCursorNests) {
  form->ShowBusyCursor();
  form->ShowBusyCursor();
  EXPECT_TRUE(view.IsBusyCursor());
  form->RestoreCursor();
  EXPECT_TRUE(view.IsBusyCursor());
  form->RestoreCursor();
  EXPECT_FALSE(view.IsBusyCursor());
  form->RestoreCursor();  // never below zero
  form->ShowBusyCursor();
  EXPECT_TRUE(view.IsBusyCursor());
}

}  // namespace
}  // namespace zephron::test
