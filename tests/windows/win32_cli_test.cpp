// zephron-cli.exe end to end: a copy of it installed as a product's program
// checks an update location on the fixture's nginx, then updates its own program while it runs;
// the setup program it hands over to replaces the file once it has ended.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;
using platform::Hive;

constexpr const char* kProductKey = "Software\\Corvexis\\Vardel Quillon";

// Runs the command line in folder and waits for it (at most two minutes); its exit code.
DWORD RunAndWait(std::wstring commandLine, const fs::path& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
    return 9999;
  }
  ::CloseHandle(process.hThread);
  DWORD code = 259;
  if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  return code;
}

class Win32Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = sandbox.root() / "install";
    updates = nginx.DocRoot() / "updates";
    // The location's page: a base URL with a body is used itself.
    WriteFile(updates / "index.html", "<html>updates</html>");
    const fs::path cli = BuildDir() / "app/cli/zephron-cli.exe";
    oldProgram = ReadFile(cli);
    ASSERT_FALSE(oldProgram.empty()) << cli;
    // The new release: the same program with bytes appended, so it still runs.
    newProgram = oldProgram + std::string(4096, 'n');
    WriteFile(folder / "Quillon.exe", oldProgram);
    fs::copy_file(fs::current_path() / "win32_sleeper.exe", folder / "restarted.exe");
    WriteFile(sandbox.root() / "stop", "");
    WriteFile(updates / "quillon/Quillon.exe_NEW", newProgram);
    WriteFile(updates / "quillon/quillon.INF",
              "[update]\nlocalversion=Quillon.exe\nnewsize=" + std::to_string(newProgram.size()) +
                  "\nnewversion=2.0\n[application]\nappupdate=1\nappname=restarted.exe\nappparam=" +
                  (sandbox.root() / "stop").generic_string() +
                  "\nappcomps=Quillon.exe_NEW\n[files]\ncount=1\n[file1]\nurl=Quillon.exe_NEW\ndescr=Program\n");
    auto key = platform::RegistryKey::Create(Hive::LocalMachine, kProductKey);
    ASSERT_TRUE(key && key->WriteString("InstallPath", folder.generic_string()) &&
                key->WriteString("UpdateURL", nginx.Url("/updates/")));
  }
  void TearDown() override { platform::DeleteKey(Hive::LocalMachine, kProductKey); }

  DWORD Cli(const std::wstring& arguments) {
    return RunAndWait(L"\"" + (folder / "Quillon.exe").wstring() + L"\" " + arguments, folder);
  }
  // Bounded: false when the program file is not the new one within a minute.
  bool NewProgramInPlace() const {
    for (int i = 0; i < 600; ++i) {
      std::error_code ec;
      if (fs::file_size(folder / "Quillon.exe", ec) == newProgram.size() &&
          ReadFile(folder / "Quillon.exe") == newProgram) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  Sandbox sandbox;
  NginxServer nginx;
  fs::path folder;
  fs::path updates;
  std::string oldProgram;
  std::string newProgram;
};

TEST_F(Win32Cli, CheckFindsTheNewVersionAndUpdateReplacesTheRunningProgramThroughTheSetupProgram) {
  EXPECT_EQ(Cli(L"check"), 2u) << "a new version is found";
  EXPECT_EQ(ReadFile(folder / "Quillon.exe"), oldProgram);

  EXPECT_EQ(Cli(L"update --yes"), 0u);
  EXPECT_TRUE(NewProgramInPlace()) << "the setup program did not replace the program";
  EXPECT_FALSE(fs::exists(folder / "Quillon.exe_NEW"));

  EXPECT_EQ(Cli(L"check"), 0u) << "the new version is installed";
}

}  // namespace
}  // namespace zephron::test
