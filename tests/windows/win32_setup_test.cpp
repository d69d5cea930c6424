// The setup program on Windows: it waits for the application to end, then
// replaces the application's program file, which could not be replaced
// while it ran, and its own copy in the download folder goes after it.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/sandbox.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

// Starts the command line without waiting; the process handle.
HANDLE Start(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return nullptr;
  }
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD ExitCodeAfterWait(HANDLE process) {
  DWORD code = 259;
  if (::WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return code;
}

bool GoneWithin(const fs::path& path, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (fs::exists(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

TEST(Win32SetupProgram, ReplacesTheProgramOfTheApplicationOnceItHasEndedAndRemovesItsOwnCopy) {
  Sandbox sandbox;
  const fs::path app = sandbox.root() / "app";
  const fs::path download = sandbox.root() / "download";
  fs::create_directories(app);
  fs::create_directories(download);
  const fs::path sleeper = fs::current_path() / "win32_sleeper.exe";
  fs::copy_file(sleeper, app / "app.exe");
  WriteFile(download / "app.exe_NEW", "new app");
  fs::copy_file(BuildDir() / "setup/zephronsetup.exe", download / "zephronsetup.exe");

  const fs::path stop = sandbox.root() / "stop";
  HANDLE application = Start(L"\"" + (app / "app.exe").wstring() + L"\" \"" + stop.wstring() + L"\"");
  ASSERT_NE(application, nullptr);
  // A running program's file cannot be replaced: the setup program waits.
  fs::current_path(app);
  HANDLE setup = Start(L"\"" + (download / "zephronsetup.exe").wstring() + L"\" " +
                       std::to_wstring(::GetProcessId(application)) + L" L null \" \" \"" + download.wstring() +
                       L"\" app.exe_NEW");
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(::WaitForSingleObject(setup, 1500), static_cast<DWORD>(WAIT_TIMEOUT)) << "it did not wait";
  EXPECT_NE(ReadFile(app / "app.exe"), "new app");

  WriteFile(stop, "");
  EXPECT_EQ(ExitCodeAfterWait(application), 0u);
  EXPECT_EQ(ExitCodeAfterWait(setup), 0u);
  EXPECT_EQ(ReadFile(app / "app.exe"), "new app");
  EXPECT_FALSE(fs::exists(download / "app.exe_NEW"));
  EXPECT_TRUE(GoneWithin(download / "zephronsetup.exe", std::chrono::seconds(30)))
      << "the setup program's own copy stayed";
}

}  // namespace
}  // namespace zephron::test
