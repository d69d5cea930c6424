// Fatal faults on Windows: the unhandled-exception filter writes the fault
// file, the process still dies of its fault, and the report made from the
// file names the exception and the program's own functions; the reporter
// started on the file saves the report.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "bugreport/fatal_signals.h"
#include "bugreport/report_store.h"
#include "tests/support/sandbox.h"

namespace zephron::bugreport {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) files.push_back(entry.path());
  return files;
}

std::string Fault(const std::string& kind, const std::string& reporter = {}) {
  const fs::path program = fs::current_path() / "win32_fault.exe";
  std::vector<std::string> argv{program.string(), kind};
  if (!reporter.empty()) argv.push_back(reporter);
  const test::ProcessResult result = test::RunProgram(argv);
  EXPECT_NE(result.exitCode, 0) << result.output;
  EXPECT_NE(result.exitCode, 4) << "it did not fail";
  const std::vector<fs::path> files = FilesIn(FaultFolder());
  if (files.size() != 1) {
    ADD_FAILURE() << files.size() << " fault files";
    return {};
  }
  const TExceptionReportPtr report = LoadFatalReport(files[0].string());
  EXPECT_FALSE(fs::exists(files[0])) << "a fault file read stays";
  return report ? report->GetBugReport() : std::string();
}

// The faulting program writes to the user's folders of the system, where
// the test looks too: a sandbox's would be the test's own (its user key is
// this process's only), so these cases do without one.
TEST(Win32FatalFaults, AnAccessViolationIsWrittenDownWithTheFunctionsOfTheProgram) {
  fs::remove_all(FaultFolder());
  const std::string report = Fault("segv");
  EXPECT_EQ(report.rfind("Exception EXCEPTION_ACCESS_VIOLATION (0xc0000005) at address 0x0\r\n", 0), 0u) << report;
  EXPECT_NE(report.find("zephron::bugreport::RaiseTestFault"), std::string::npos) << report;
  EXPECT_NE(report.find("(win32_fault.exe+0x"), std::string::npos) << report;
  EXPECT_NE(report.find("(main thread) of process"), std::string::npos) << report;
  EXPECT_NE(report.find("Operating system: Windows "), std::string::npos) << report;
}

TEST(Win32FatalFaults, TerminateNamesTheUncaughtExceptionAndTheReporterSavesTheReport) {
  fs::remove_all(FaultFolder());
  fs::remove_all(BugReportFolder());
  const std::string report = Fault("terminate");
  EXPECT_EQ(report.rfind("Exception std::terminate (0xe0000100)", 0), 0u) << report;
  EXPECT_NE(report.find("with an uncaught exception std::runtime_error: thrown where nothing catches"),
            std::string::npos)
      << report;

  // With the program itself as the reporter, the report is saved.
  const fs::path program = fs::current_path() / "win32_fault.exe";
  const test::ProcessResult result = test::RunProgram({program.string(), "segv", program.string()});
  EXPECT_NE(result.exitCode, 0);
  std::vector<fs::path> saved;
  for (int i = 0; i < 100 && saved.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    saved = FilesIn(BugReportFolder());
  }
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(test::ReadFile(saved[0]).rfind("Exception EXCEPTION_ACCESS_VIOLATION", 0), 0u);
}

}  // namespace
}  // namespace zephron::bugreport
