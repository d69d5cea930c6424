// The capture at work: an exception thrown in a button handler reaches the
// bug report window and the program goes on; a process that faults writes
// its fault file, starts the reporter on it and still dies of its signal.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <stdexcept>

#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"
#include "bugreport/qt/form_exception.h"
#include "bugreport/qt/reporting_application.h"
#include "bugreport/report_store.h"
#include "tests/support/sandbox.h"
#include "ui/qt/dialog_runner.h"

namespace zephron::bugreport {
namespace {

namespace fs = std::filesystem;

class CaptureTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ui::qt::OnDialogShown() = nullptr;
    RegisterExceptionHandler(nullptr);
    SetScreenshotSource(nullptr);
    SetMainThreadRunner(nullptr);
  }

  test::Sandbox sandbox;
};

TEST_F(CaptureTest, ExceptionInAButtonHandlerReachesTheWindowAndTheProgramGoesOn) {
  qt::InstallBugReportWindow(false);
  QPushButton button("Check");
  int pressed = 0;
  QObject::connect(&button, &QPushButton::clicked, [&pressed] {
    ++pressed;
    throw std::runtime_error("no such product " + std::to_string(pressed));
  });
  button.show();
  std::vector<std::string> reports;
  bool hadScreenshot = false;
  ui::qt::OnDialogShown() = [&](QDialog& dialog) {
    auto& form = dynamic_cast<qt::TformException&>(dialog);
    reports.push_back(form.eContents->toPlainText().toStdString());
    hadScreenshot = form.exceptIntf->GetScreenShot() != nullptr;
    form.bContinue->click();
  };
  for (int i = 0; i < 2; ++i) {
    QMetaObject::invokeMethod(&button, "click", Qt::QueuedConnection);
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(pressed, 2);
  EXPECT_TRUE(reports[0].starts_with("Exception std::runtime_error: no such product 1\n")) << reports[0];
  EXPECT_NE(reports[1].find("no such product 2"), std::string::npos);
  EXPECT_NE(reports[0].find("Stack trace:"), std::string::npos);
  EXPECT_NE(reports[0].find("TReportingApplication::notify"), std::string::npos) << reports[0];
  EXPECT_TRUE(hadScreenshot);
}

TEST_F(CaptureTest, ExceptionInAPassOfTheHeadlessFrontEndIsReportedAndTheProgramGoesOn) {
  sandbox.SetEnv("ZEPHRON_TEST_FAULT", "exception");
  const test::ProcessResult run =
      test::RunProgram({(test::BuildDir() / "app/cli/zephron-cli").string(), "--debug", "check"});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_NE(run.output.find("zephron-cli: unexpected failure, report saved to "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Exception std::runtime_error: Zephron test failure"), std::string::npos);
  // The rows follow the report: the program went on after it.
  EXPECT_NE(run.output.find("Zephron: "), std::string::npos) << run.output;
  EXPECT_FALSE(fs::is_empty(BugReportFolder()));
}

struct FaultCase {
  const char* mode;
  int signal;
  const char* failure;
  const char* function;
};

TEST_F(CaptureTest, FaultingProcessIsReportedAndDiesOfItsSignal) {
  // The reporter outlives the faulting child; as the subreaper the test can
  // wait for it instead of polling for its file.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  for (const FaultCase& fault :
       {FaultCase{"segv", SIGSEGV, "Signal SIGSEGV (11) at address 0x0\r\n", "CrashThroughNullPointer"},
        FaultCase{"terminate", SIGABRT,
                  "std::terminate called with an uncaught exception std::logic_error: nobody catches this",
                  "ThrowPastEveryHandler"}}) {
    SCOPED_TRACE(fault.mode);
    fs::remove_all(BugReportFolder());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // No core files from a test; the signal still ends the process.
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::execl(ZEPHRON_FAULT_CHILD, ZEPHRON_FAULT_CHILD, fault.mode, static_cast<char*>(nullptr));
      ::_exit(126);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
    EXPECT_EQ(WTERMSIG(status), fault.signal);

    int reporterStatus = 0;
    const pid_t reporter = ::waitpid(-1, &reporterStatus, 0);
    ASSERT_GT(reporter, 0) << "no reporter was started";
    EXPECT_TRUE(WIFEXITED(reporterStatus) && WEXITSTATUS(reporterStatus) == 0) << reporterStatus;

    ASSERT_TRUE(fs::is_directory(BugReportFolder()));
    const auto saved = fs::directory_iterator(BugReportFolder())->path();
    const std::string report = test::ReadFile(saved);
    EXPECT_TRUE(report.starts_with("Signal")) << report;
    EXPECT_NE(report.find(fault.failure), std::string::npos) << report;
    EXPECT_NE(report.find(fault.function), std::string::npos) << report;
    EXPECT_NE(report.find("fault_child.cpp:"), std::string::npos) << report;
    EXPECT_NE(report.find("Executable: " ZEPHRON_FAULT_CHILD), std::string::npos) << report;
    // The fault file was the reporter's to remove.
    EXPECT_TRUE(fs::is_empty(FaultFolder()));
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);

  // Anything else named on the reporter's command line is refused and kept.
  const fs::path other = sandbox.root() / "notes.txt";
  test::WriteFile(other, "Zephron fault report\nsignal 11 SIGSEGV\n");
  const fs::path stranger = sandbox.root() / "stranger.txt";
  test::WriteFile(stranger, "hello\n");
  EXPECT_EQ(LoadFatalReport(stranger.string()), nullptr);
  EXPECT_NE(LoadFatalReport(other.string()), nullptr);
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(fs::exists(stranger));
}

}  // namespace
}  // namespace zephron::bugreport
