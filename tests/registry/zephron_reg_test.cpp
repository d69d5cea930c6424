#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using test::ProcessResult;
using test::ReadFile;
using test::RunProgram;
using test::Sandbox;
using test::WriteFile;

constexpr const char* kOk = "The operation completed successfully.\n";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

class ZephronRegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The tool runs in its own process: the environment is what it sees.
    sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", "64");
    ASSERT_TRUE(fs::exists(tool_)) << tool_;
  }

  ProcessResult Reg(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), tool_.string());
    return RunProgram(args, input);
  }

  static std::optional<std::string> Get(Hive hive, const std::string& path, const std::string& name) {
    auto key = RegistryKey::Open(hive, path, RegView::Bits64);
    if (!key) return std::nullopt;
    return key->ReadString(name);
  }

  Sandbox sandbox;
  fs::path tool_ = test::BuildDir() / "tools/zephron-reg/zephron-reg";
};

TEST_F(ZephronRegTest, AddedValuesAreQueriedInRegExeLayout) {
  auto r = Reg({"add", "HKLM\\Software\\Corvexis\\Alpha", "/v", "InstallPath", "/d", "C:\\Program Files\\Alpha", "/f"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, kOk);
  EXPECT_EQ(Reg({"add", "hkey_local_machine\\Software\\Corvexis\\Alpha", "/ve", "/d", "main", "/t", "reg_sz"}).exitCode, 0);
  EXPECT_EQ(Reg({"add", "HKLM\\Software\\Corvexis\\Alpha\\Plugins"}).exitCode, 0);
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath"), "C:\\Program Files\\Alpha");

  r = Reg({"query", "HKLM\\Software\\Corvexis\\Alpha"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output,
            "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\n"
            "    InstallPath    REG_SZ    C:\\Program Files\\Alpha\n"
            "    (Default)    REG_SZ    main\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\\Plugins\n");
  r = Reg({"query", "HKLM\\Software\\Corvexis\\Alpha", "/v", "installpath"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\n    InstallPath    REG_SZ    C:\\Program Files\\Alpha\n\n");
  r = Reg({"query", "HKLM\\Software\\Corvexis\\Alpha\\Plugins", "/ve"});
  EXPECT_EQ(r.output, "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\\Plugins\n    (Default)    REG_SZ    (value not set)\n\n");
  r = Reg({"query", "HKLM\\Software\\Corvexis", "/s"});
  EXPECT_EQ(r.output,
            "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\n"
            "    InstallPath    REG_SZ    C:\\Program Files\\Alpha\n"
            "    (Default)    REG_SZ    main\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\\Plugins\n");
}

TEST_F(ZephronRegTest, MissingKeysAndValuesFailWithTheSystemMessage) {
  auto r = Reg({"query", "HKCU\\Software\\Nothing"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, kNotFound);
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\Some"}).exitCode, 0);
  r = Reg({"query", "HKCU\\Software\\Some", "/v", "Nope"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, kNotFound);
  EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Some", "/v", "Nope", "/f"}).output, kNotFound);
  EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Nothing", "/f"}).exitCode, 1);
  EXPECT_EQ(Reg({"export", "HKCU\\Software\\Nothing", (sandbox.root() / "x.reg").string()}).exitCode, 1);
}

TEST_F(ZephronRegTest, BadCommandLinesGetUsageHints) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
      {{"frobnicate"}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
      {{"add"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\X", "/v"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\X", "/v", "a", "/ve"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\X", "/v", "a", "/v", "b"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
      {{"add", "HKCR\\.txt", "/ve"}, "ERROR: Invalid key name.\nType \"REG ADD /?\" for usage.\n"},
      {{"query", "Software\\X"}, "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n"},
      {{"delete", "HKCU\\A", "HKCU\\B"}, "ERROR: Invalid syntax.\nType \"REG DELETE /?\" for usage.\n"},
      {{"export", "HKCU\\A"}, "ERROR: Invalid syntax.\nType \"REG EXPORT /?\" for usage.\n"},
      {{"import"}, "ERROR: Invalid syntax.\nType \"REG IMPORT /?\" for usage.\n"},
      {{"query", "HKCU\\A", "/reg:32", "/reg:64"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
      {{"add", "HKCU\\Software\\X", "/v", "n", "/t", "REG_DWORD", "/d", "1"},
       "ERROR: This registry tool writes REG_SZ values only; REG_DWORD is not supported.\n"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = Reg(args);
    EXPECT_EQ(r.exitCode, 1) << testing::PrintToString(args);
    EXPECT_EQ(r.output, message) << testing::PrintToString(args);
  }
  EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser)));
  const auto help = Reg({"add", "/?"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("REG ADD KeyName"), std::string::npos);
}

TEST_F(ZephronRegTest, DeleteAsksFirstAndOnlyYesDeletes) {
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\Doomed\\Child", "/v", "A", "/d", "1"}).exitCode, 0);
  for (const std::string answer : {"n\n", "", "maybe\n", "no\n"}) {
    const auto r = Reg({"delete", "HKCU\\Software\\Doomed"}, answer);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output,
              "Delete the registry key HKEY_CURRENT_USER\\Software\\Doomed (Yes/No)? \n"
              "The operation was canceled by the user.\n");
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, "Software\\Doomed\\Child"));
  }
  auto r = Reg({"delete", "HKCU\\Software\\Doomed\\Child", "/v", "A"}, "Y\n");
  EXPECT_EQ(r.output, "Delete the registry value A (Yes/No)? \n" + std::string(kOk));
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software\\Doomed\\Child")->ValueExists("A"));
  r = Reg({"delete", "HKCU\\Software\\Doomed"}, "yes\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Doomed"));
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\Doomed", "/ve", "/d", "x"}).exitCode, 0);
  r = Reg({"delete", "HKCU\\Software\\Doomed", "/f"});
  EXPECT_EQ(r.output, kOk);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Doomed"));
  EXPECT_EQ(Reg({"delete", "HKCU", "/f"}).exitCode, 1);
}

TEST_F(ZephronRegTest, AddAsksBeforeOverwritingWithoutF) {
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\C", "/v", "A", "/d", "old"}).exitCode, 0);
  auto r = Reg({"add", "HKCU\\Software\\C", "/v", "A", "/d", "new"}, "n\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "Value A exists, overwrite(Yes/No)? \nThe operation was canceled by the user.\n");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\C", "A"), "old");
  r = Reg({"add", "HKCU\\Software\\C", "/v", "A", "/d", "new"}, "yes\n");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\C", "A"), "new");
}

TEST_F(ZephronRegTest, ToolDefaultsToThe64BitViewAndReg32IsWow6432Node) {
  ASSERT_EQ(Reg({"add", "HKLM\\Software\\Corvexis\\Alpha", "/v", "InstallPath", "/d", "/opt/64", "/f"}).exitCode, 0);
  ASSERT_EQ(Reg({"add", "HKLM\\Software\\Corvexis\\Alpha", "/v", "InstallPath", "/d", "/opt/32", "/f", "/reg:32"}).exitCode, 0);
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath"), "/opt/64");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\WOW6432Node\\Corvexis\\Alpha", "InstallPath"), "/opt/32");
  // The updater's own default view is the 32-bit one.
  SetIs64BitSystemOverride(true);
  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "Software\\Corvexis\\Alpha")->ReadString("InstallPath"), "/opt/32");
  SetIs64BitSystemOverride(std::nullopt);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Corvexis\\Alpha", "/v", "InstallPath", "/reg:64"}).output,
            "\nHKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\n    InstallPath    REG_SZ    /opt/64\n\n");
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Corvexis\\Alpha", "/v", "InstallPath", "/reg:32"}).output,
            "\nHKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Corvexis\\Alpha\n    InstallPath    REG_SZ    /opt/32\n\n");
  // On a 32-bit system both switches name the same key.
  sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", "32");
  ASSERT_EQ(Reg({"add", "HKLM\\Software\\Corvexis\\Beta", "/ve", "/d", "b", "/reg:32"}).exitCode, 0);
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Beta", ""), "b");
}

TEST_F(ZephronRegTest, ExportAndImportRoundTripThroughFiles) {
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\Corvexis\\Alpha", "/v", "Path", "/d", "C:\\A \"q\" \xC3\xBC", "/f"}).exitCode, 0);
  ASSERT_EQ(Reg({"add", "HKCU\\Software\\Corvexis\\Alpha\\Sub", "/ve", "/d", "s", "/f"}).exitCode, 0);
  const fs::path file = sandbox.root() / "out.reg";
  auto r = Reg({"export", "HKCU\\Software\\Corvexis", file.string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, kOk);
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(regfile::DecodeFileBytes(bytes),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Corvexis]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Corvexis\\Alpha]\r\n"
            "\"Path\"=\"C:\\\\A \\\"q\\\" \xC3\xBC\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Corvexis\\Alpha\\Sub]\r\n"
            "@=\"s\"\r\n\r\n");
  // An existing file is replaced only when confirmed or with /y.
  r = Reg({"export", "HKCU\\Software\\Corvexis\\Alpha\\Sub", file.string()}, "n\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ReadFile(file), bytes);
  EXPECT_EQ(Reg({"export", "HKCU\\Software\\Corvexis\\Alpha\\Sub", file.string(), "/y"}).exitCode, 0);
  EXPECT_NE(ReadFile(file), bytes);
  WriteFile(file, bytes);

  ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Corvexis", "/f"}).exitCode, 0);
  r = Reg({"import", file.string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, kOk);
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis\\Alpha", "Path"), "C:\\A \"q\" \xC3\xBC");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis\\Alpha\\Sub", ""), "s");

  const fs::path changes = sandbox.root() / "changes.reg";
  WriteFile(changes,
            "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Corvexis\\Alpha\\Sub]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Corvexis\\Alpha]\r\n\"Path\"=-\r\n\"Other\"=\"o\"\r\n");
  EXPECT_EQ(Reg({"import", changes.string()}).exitCode, 0);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Corvexis\\Alpha\\Sub"));
  EXPECT_FALSE(Get(Hive::CurrentUser, "Software\\Corvexis\\Alpha", "Path"));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis\\Alpha", "Other"), "o");

  // Exporting onto a hive file would replace the hive with a part of it.
  const std::string hiveBefore = ReadFile(HiveFile(Hive::CurrentUser));
  r = Reg({"export", "HKCU\\Software\\Corvexis\\Alpha", HiveFile(Hive::CurrentUser).string(), "/y"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("is a registry hive file"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(HiveFile(Hive::CurrentUser)), hiveBefore);

  r = Reg({"import", (sandbox.root() / "missing.reg").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "ERROR: Error opening the file. There may be a disk or file system error.\n");
  WriteFile(changes, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Corvexis]\n\"Other\"=-\nnonsense\n");
  r = Reg({"import", changes.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("line 4"), std::string::npos) << r.output;
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis\\Alpha", "Other"), "o");
}

TEST_F(ZephronRegTest, ConcurrentToolRunsKeepEveryValue) {
  constexpr int kRuns = 25;
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kRuns; ++i) {
        const auto r = Reg({"add", "HKLM\\Software\\Corvexis", "/v", "P" + std::to_string(process) + "_" + std::to_string(i),
                            "/d", std::to_string(i), "/f"});
        if (r.exitCode != 0) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int process = 0; process < 2; ++process) {
    for (int i = 0; i < kRuns; ++i) {
      EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis", "P" + std::to_string(process) + "_" + std::to_string(i)),
                std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace zephron::platform
