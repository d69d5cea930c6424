#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>

#include "engine/zephron.h"
#include "platform/last_error.h"
#include "tests/support/sandbox.h"
#include "ui/scripted_dialogs.h"

namespace zephron {
namespace {
namespace fs = std::filesystem;

struct Report {
  std::string text;
  int status;
  int error;
};

class StatusLog : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::current_path(sandbox.root());
    engine.SetDialogs(&dialogs);
    engine.OnStatus = [this](TZephron&, const std::string& text, int status, int error) {
      reports.push_back({text, status, error});
    };
  }
  void TearDown() override { platform::ClearLastSystemError(); }

  std::string DocumentsLog() const { return test::ReadFile(sandbox.documents() / "ZEPHRON.LOG"); }

  test::Sandbox sandbox;
  ui::ScriptedDialogs dialogs;
  TZephron engine;
  std::vector<Report> reports;
};

TEST_F(StatusLog, LineHasTimeIdentTextAndCodes) {
  engine.Logging = true;
  engine.DoStatus(926, "", 3, 0);
  const std::string log = DocumentsLog();
  // "dd/mm/yyyy hh:nn:ss" with digits where the pattern has letters.
  const std::string stamp = "00/00/0000 00:00:00";
  ASSERT_GT(log.size(), stamp.size()) << log;
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    if (stamp[i] == '0') {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(log[i]))) << log;
    } else {
      EXPECT_EQ(log[i], stamp[i]) << log;
    }
  }
  EXPECT_EQ(log.substr(stamp.size()), " : [926] Update control file found (Status:3) (Error:0)\r\n");
}

TEST_F(StatusLog, ArgumentFillsThePlaceholderAndNegativeCodesArePrinted) {
  engine.Logging = true;
  engine.DoStatus(929, "1.2.0.0", 5, -7);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "New version found : 1.2.0.0");
  EXPECT_NE(DocumentsLog().find("] New version found : 1.2.0.0 (Status:5) (Error:-7)\r\n"), std::string::npos);
}

TEST_F(StatusLog, IdentWithoutTextGivesAnEmptyStatus) {
  engine.Logging = true;
  engine.DoStatus(18, "Exec: patcher.exe a b", 18, 0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "");
  EXPECT_NE(DocumentsLog().find(" : [18]  (Status:18) (Error:0)\r\n"), std::string::npos);
}

TEST_F(StatusLog, TextWithoutPlaceholderIgnoresTheArgument) {
  engine.DoStatus(949, "ignored", 3, 0);
  EXPECT_EQ(reports.at(0).text, "Closed Internet connection");
}

TEST_F(StatusLog, LoggingOffStillReportsButLeavesTheLogAlone) {
  engine.DoStatus(918, "", 3, 0);
  engine.DoStatus(949, "", 3, 0);
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_FALSE(fs::exists(sandbox.documents() / "ZEPHRON.LOG"));
  engine.AddToLog("plain line");
  EXPECT_EQ(DocumentsLog(), "plain line\r\n");
}

TEST_F(StatusLog, NameWithFolderIsUsedAsItIs) {
  engine.SetLogFileName((sandbox.root() / "logs/x.log").string());
  fs::create_directories(sandbox.root() / "logs");
  engine.AddToLog("abs");
  EXPECT_EQ(test::ReadFile(sandbox.root() / "logs/x.log"), "abs\r\n");

  engine.SetLogFileName("logs/y.log");  // relative to the current folder
  engine.AddToLog("rel");
  EXPECT_EQ(test::ReadFile(sandbox.root() / "logs/y.log"), "rel\r\n");

  engine.SetLogFileName("logs\\z.log");  // a backslash is a separator too
  engine.AddToLog("back");
  EXPECT_EQ(test::ReadFile(sandbox.root() / "logs/z.log"), "back\r\n");
  EXPECT_FALSE(fs::exists(sandbox.documents() / "ZEPHRON.LOG"));
}

TEST_F(StatusLog, TwoEnginesWriteToTheNameSetLast) {
  TZephron second;
  engine.SetLogFileName("first.log");
  second.SetLogFileName("second.log");
  engine.AddToLog("from the first engine");
  EXPECT_FALSE(fs::exists(sandbox.documents() / "first.log"));
  EXPECT_EQ(test::ReadFile(sandbox.documents() / "second.log"), "from the first engine\r\n");
  EXPECT_EQ(engine.LogFileName(), "first.log");
}

TEST_F(StatusLog, EachLineIsAppendedToWhatOthersWrote) {
  engine.AddToLog("one");
  test::WriteFile(sandbox.documents() / "ZEPHRON.LOG", DocumentsLog() + "setup program line\r\n");
  engine.AddToLog("two");
  EXPECT_EQ(DocumentsLog(), "one\r\nsetup program line\r\ntwo\r\n");
}

TEST_F(StatusLog, UnwritableLogLosesTheLineButNotTheReport) {
  engine.Logging = true;
  test::WriteFile(sandbox.root() / "not-a-folder", "");
  engine.SetLogFileName((sandbox.root() / "not-a-folder/x.log").string());
  engine.DoStatus(918, "", 3, 0);
  EXPECT_EQ(reports.size(), 1u);
}

TEST_F(StatusLog, MissingDocumentsFolderOfAFreshAccountIsCreatedOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows account has its documents folder, and the shell names none that is missing";
#endif
  fs::remove_all(sandbox.documents());
  engine.AddToLog("first line");
  EXPECT_EQ(DocumentsLog(), "first line\r\n");
}

TEST_F(StatusLog, ErrorWithoutLastErrorReportsNothing) {
  platform::ClearLastSystemError();
  engine.Error();
  EXPECT_TRUE(reports.empty());
}

TEST_F(StatusLog, ErrorReportsTheSystemText) {
  platform::SetLastSystemError(12007);
  engine.Error();
  ASSERT_EQ(reports.size(), 1u);
  // The system's own text of the code (Windows') or the platform's table (elsewhere).
  EXPECT_EQ(reports[0].text, "System error : " + platform::SystemErrorText(12007));
  EXPECT_FALSE(platform::SystemErrorText(12007).empty());
  EXPECT_EQ(reports[0].status, 1);
  EXPECT_EQ(reports[0].error, 12007);
  EXPECT_TRUE(dialogs.shown().empty()) << "an OnStatus handler replaces the error box";
}

TEST_F(StatusLog, ExtendedErrorReportsTheServerResponseOnlyWhenThereIsOne) {
  platform::SetLastSystemError(platform::kErrorInternetExtendedError);
  platform::SetLastResponseInfo("");
  engine.Error();
  EXPECT_TRUE(reports.empty());
  platform::SetLastResponseInfo("550 Failed to change directory.");
  engine.Error();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "System error : 550 Failed to change directory.");
  EXPECT_EQ(reports[0].error, 12003);
}

TEST_F(StatusLog, ErrorBoxOnlyWithoutHandlerAndWhenNotSilent) {
  engine.OnStatus = nullptr;
  platform::SetLastSystemError(12002);
  engine.Error();
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, platform::SystemErrorText(12002));
  EXPECT_EQ(dialogs.shown()[0].kind, ui::MessageKind::Error);
  engine.UpdateUpdate = zpuSilent;
  engine.Error();
  EXPECT_EQ(dialogs.shown().size(), 1u);
}

}  // namespace
}  // namespace zephron
