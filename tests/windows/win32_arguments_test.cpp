// Arguments outside the ANSI code page: the setup program and the patcher
// read their command line as UTF-16, so that a folder named in Greek with an
// emoji in it reaches them whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/utf8_path.h"
#include "tests/support/sandbox.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

// "Ελληνικά 🚀".
const fs::path kFolderName = u8"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \U0001F680";
// A path as the UTF-8 text that RunProgram takes.
const auto Utf8 = platform::Utf8String;

TEST(Win32Arguments, TheSetupProgramReplacesAFileFromADownloadFolderNamedOutsideTheCodePage) {
  Sandbox sandbox;
  const fs::path app = sandbox.root() / "app";
  const fs::path download = sandbox.root() / kFolderName;
  fs::create_directories(app);
  fs::create_directories(download);
  WriteFile(app / "app.exe", "old app");
  WriteFile(download / "app.exe_NEW", "new app");
  fs::copy_file(BuildDir() / "setup/zephronsetup.exe", download / "zephronsetup.exe");
  fs::current_path(app);
  // Process 1 never exists on Windows: there is nothing to wait for.
  const ProcessResult run =
      RunProgram({Utf8(download / "zephronsetup.exe"), "1", "X", "null", " ", Utf8(download), "app.exe_NEW"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFile(app / "app.exe"), "new app");
  EXPECT_FALSE(fs::exists(download / "app.exe_NEW"));
}

TEST(Win32Arguments, ThePatcherMakesAndAppliesAPatchInAFolderNamedOutsideTheCodePage) {
  Sandbox sandbox;
  const fs::path folder = sandbox.root() / kFolderName;
  WriteFile(folder / "old.bin", "the old program, version one");
  WriteFile(folder / "new.bin", "the new program, version two");
  const std::string patcher = Utf8(BuildDir() / "tools/patcher/patcher.exe");
  const ProcessResult made =
      RunProgram({patcher, "make", Utf8(folder / "old.bin"), Utf8(folder / "new.bin"), Utf8(folder / "fix.pat")});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const ProcessResult applied = RunProgram({patcher, Utf8(folder / "fix.pat"), Utf8(folder / "old.bin")});
  EXPECT_EQ(applied.exitCode, 0) << applied.output;
  EXPECT_EQ(ReadFile(folder / "old.bin"), "the new program, version two");
}

}  // namespace
}  // namespace zephron::test
