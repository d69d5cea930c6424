// The update setup program through its command line: the wait for the
// application, the settings file, every kind of component with its log
// lines, the restart, and the names it refuses.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/sandbox.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

// An identifier that no process has.
constexpr const char* kGonePid = "2147483646";

// Whether text holds a time stamp of the pattern ("d" a digit, anything else itself) at pos.
bool StampAt(const std::string& text, std::size_t pos, std::string_view pattern) {
  if (text.size() < pos + pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = text[pos + i];
    if (pattern[i] == 'd' ? (c < '0' || c > '9') : c != pattern[i]) return false;
  }
  return true;
}

constexpr std::string_view kLineStamp = "dd/dd/dddd dd:dd:dd : [000] ";
constexpr std::string_view kWaitStamp = "dd/dd/dddd dd:dd:dd:ddd";

class SetupProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    app = sandbox.root() / "app";
    download = sandbox.root() / "download";
    fs::create_directories(app);
    fs::create_directories(download);
    fs::current_path(app);
    const char* path = std::getenv("PATH");
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + ":" + (path ? path : "/usr/bin:/bin"));
    sandbox.SetEnv("ZEPHRON_SYSTEM_DIR", (sandbox.root() / "system").string());
  }
  std::vector<std::string> Command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{(BuildDir() / "setup/zephronsetup.exe").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  ProcessResult Run(const std::vector<std::string>& args) { return RunProgram(Command(args)); }
  // The standard arguments: no process to wait for, logging, no restart.
  ProcessResult Install(const std::vector<std::string>& components, const std::string& flag = "L") {
    std::vector<std::string> args{kGonePid, flag, "null", " ", download.string()};
    args.insert(args.end(), components.begin(), components.end());
    return Run(args);
  }
  // The log's texts without their time stamps; every line must carry one.
  std::vector<std::string> LogTexts(const fs::path& log) const {
    std::vector<std::string> texts;
    const std::string content = ReadFile(log);
    std::size_t start = 0;
    while (start < content.size()) {
      const std::size_t end = content.find('\n', start);
      const std::string one = content.substr(start, end - start);
      const bool formed = StampAt(one, 0, kLineStamp) && !one.empty() && one.back() == '\r';
      EXPECT_TRUE(formed) << one;
      texts.push_back(formed ? one.substr(kLineStamp.size(), one.size() - kLineStamp.size() - 1) : one);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return texts;
  }
  fs::path EngineLog() const { return sandbox.documents() / "ZEPHRON.LOG"; }
  std::string Script(const fs::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }

  Sandbox sandbox;
  fs::path app;
  fs::path download;
};

TEST_F(SetupProgram, EveryComponentKindIsInstalledInOrderAndLogged) {
  const std::string d = download.string() + "/";
  const std::string a = app.string() + "/";
  WriteFile(app / "app.exe", "old app");
  WriteFile(download / "APP.EXE_new", "new app");
  WriteFile(download / "list.inf",
            "[FILES]\r\nCOUNT=2\r\nFILE1=extra.txt_NEW\r\nTARGET1={SYS}drivers\r\nFILE2=Data.bin_NEW\r\nTARGET2=" +
                (app / "sub").string() + "\r\n");
  WriteFile(download / "extra.txt_new", "extra");
  WriteFile(download / "data.bin_new", "data");
  fs::create_directories(sandbox.root() / "system/drivers");
  fs::create_directories(app / "sub");
  Script(download / "run.exe", "echo ran > " + (app / "ran.txt").string());
  const std::string lz(3000, 'z');
  WriteFile(download / "comp.txt", lz);
  ASSERT_EQ(RunProgram({"mscompress", (download / "comp.txt").string()}).exitCode, 0);
  fs::remove(download / "comp.txt");

  const ProcessResult result = Install({"app.exe_NEW", "list.inf", "run.exe", "comp.txt_", "missing.dll_NEW"});
  EXPECT_EQ(result.exitCode, 0) << result.output;

  EXPECT_EQ(ReadFile(app / "app.exe"), "new app");
  EXPECT_EQ(ReadFile(sandbox.root() / "system/drivers/extra.txt"), "extra");
  EXPECT_EQ(ReadFile(app / "sub/Data.bin"), "data");
  EXPECT_EQ(ReadFile(app / "ran.txt"), "ran\n");
  EXPECT_FALSE(fs::exists(download / "run.exe")) << "the program is deleted where it was";
  EXPECT_TRUE(ReadFile(app / "comp.txt") == lz);
  for (const char* installed : {"APP.EXE_new", "list.inf", "extra.txt_new", "data.bin_new", "comp.txt_"}) {
    EXPECT_FALSE(fs::exists(download / installed)) << installed << " stays after it was installed";
  }
  const std::vector<std::string> log = LogTexts(EngineLog());
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "UPD v2.0.4.0 started");
  EXPECT_EQ(log[1], "UPD current directory: " + app.string());
  const std::string waited = "UPD waited from ";
  EXPECT_TRUE(log[2].starts_with(waited) && StampAt(log[2], waited.size(), kWaitStamp) &&
              log[2].substr(waited.size() + kWaitStamp.size(), 4) == " to " &&
              StampAt(log[2], waited.size() + kWaitStamp.size() + 4, kWaitStamp) &&
              log[2].ends_with(" for application close"))
      << log[2];
  const std::vector<std::string> expected{
      "Upd copying file : " + d + "app.exe_NEW to " + a + "app.exe",
      "Upd inf file: " + d + "list.inf",
      "upd inf 1 : extra.txt_NEW {SYS}drivers",
      "Upd copying file : " + d + "extra.txt_NEW to " + (sandbox.root() / "system/drivers").string() + "/extra.txt",
      "upd inf 2 : Data.bin_NEW " + (app / "sub").string(),
      "Upd copying file : " + d + "Data.bin_NEW to " + (app / "sub").string() + "/Data.bin",
      "Upd execute run.exe " + a,
      "Upd lzexpand comp.txt_ " + a,
      "Upd lzexpand dest. filename comp.txt"};
  EXPECT_EQ(std::vector<std::string>(log.begin() + 3, log.end()), expected);
}

TEST_F(SetupProgram, CabinetsAndPatchesComeFromTheDownloadFolder) {
  WriteFile(sandbox.root() / "cab/one.txt", "from the cabinet");
  const auto previous = fs::current_path();
  fs::current_path(sandbox.root() / "cab");
  ASSERT_EQ(RunProgram({"gcab", "-c", (download / "pack.cab").string(), "one.txt"}).exitCode, 0);
  fs::current_path(previous);
  WriteFile(download / "bad.cab", "not a cabinet");
  WriteFile(sandbox.root() / "old.exe", "tool version one");
  WriteFile(sandbox.root() / "new.exe", "tool version two");
  ASSERT_EQ(RunProgram({(BuildDir() / "tools/patcher/patcher").string(), "make", (sandbox.root() / "old.exe").string(),
                        (sandbox.root() / "new.exe").string(), (download / "tool.pat").string()})
                .exitCode,
            0);
  WriteFile(app / "Tool.exe", "tool version one");
  WriteFile(app / "tool.pat", "an installed file of the same name");

  EXPECT_EQ(Install({"pack.cab", "bad.cab", "tool.pat"}).exitCode, 0);
  EXPECT_EQ(ReadFile(app / "one.txt"), "from the cabinet");
  EXPECT_FALSE(fs::exists(download / "pack.cab"));
  EXPECT_TRUE(fs::exists(download / "bad.cab")) << "kept after a failed extraction";
  EXPECT_EQ(ReadFile(app / "Tool.exe"), "tool version two") << "tool.pat patches tool.EXE, its case ignored";
  EXPECT_FALSE(fs::exists(download / "tool.pat"));
  EXPECT_EQ(ReadFile(app / "tool.pat"), "an installed file of the same name");
  const std::vector<std::string> log = LogTexts(EngineLog());
  EXPECT_NE(std::find(log.begin(), log.end(), "Upd cab extract pack.cab " + app.string() + "/"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Upd cabextract failed"), log.end());
}

TEST_F(SetupProgram, NamesLeavingTheirFolderAndSelfNamingListsAreRefused) {
  WriteFile(download / "loop.inf", "[FILES]\r\nCOUNT=2\r\nFILE1=loop.inf\r\nTARGET1=.\r\nFILE2=../x_NEW\r\nTARGET2=.\r\n");
  WriteFile(sandbox.root() / "x_new", "escaped");
  const ProcessResult result = Install({"loop.inf", "../../etc_NEW", "/abs_NEW"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  const std::vector<std::string> log = LogTexts(EngineLog());
  EXPECT_EQ(std::count(log.begin(), log.end(), "Upd inf file: " + download.string() + "/loop.inf"), 9);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Upd refused file name ../x_NEW"), 8);
  EXPECT_NE(std::find(log.begin(), log.end(), "Upd refused file name /abs_NEW"), log.end());
  EXPECT_FALSE(fs::exists(sandbox.root() / "x"));
}

TEST_F(SetupProgram, SettingsFileNamesTheLogAndIsAlwaysDeleted) {
  const fs::path settings = sandbox.documents() / "ZEPHRON.INI";
  WriteFile(settings, "[CONFIG]\r\nLOGFILENAME=upd.log\r\n");
  EXPECT_EQ(Install({}).exitCode, 0);
  EXPECT_FALSE(fs::exists(settings));
  EXPECT_EQ(LogTexts(sandbox.documents() / "upd.log").size(), 3u);

  const fs::path elsewhere = sandbox.root() / "logs/setup.log";
  fs::create_directories(elsewhere.parent_path());
  WriteFile(settings, "[CONFIG]\r\nLOGFILENAME=" + elsewhere.string() + "\r\n");
  EXPECT_EQ(Install({}).exitCode, 0);
  EXPECT_EQ(LogTexts(elsewhere).size(), 3u);

  WriteFile(settings, std::string("\0\xff[[[", 5));
  EXPECT_EQ(Install({}, "X").exitCode, 0);
  EXPECT_FALSE(fs::exists(settings)) << "gone also when it cannot be parsed";
  EXPECT_FALSE(fs::exists(EngineLog())) << "no line at all without logging";
}

TEST_F(SetupProgram, RestartPassesTheParameterOrNoneAndInvalidPidEndsAtOnce) {
  const std::string program = Script(app / "my app.sh", "echo \"$#:$1\" >> " + (app / "started").string());
  EXPECT_EQ(Run({kGonePid, "L", program, "two words", download.string()}).exitCode, 0);
  EXPECT_EQ(Run({kGonePid, "X", program, " ", download.string()}).exitCode, 0);
  for (int i = 0; i < 500; ++i) {
    const std::string started = ReadFile(app / "started");
    if (std::count(started.begin(), started.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFile(app / "started"), "1:two words\n0:\n");
  const std::vector<std::string> log = LogTexts(EngineLog());
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[3], "UPD restart " + program + " two words");
  EXPECT_EQ(log[4], "UPD has EXE restarted");

  EXPECT_EQ(Run({"12x", "L", program, " ", download.string()}).exitCode, 1);
  EXPECT_EQ(Run({}).exitCode, 1);
  EXPECT_EQ(LogTexts(EngineLog()).size(), 5u) << "nothing more was done";
}

TEST_F(SetupProgram, WaitsForTheApplicationToEndBeforeReplacingItsFiles) {
  WriteFile(app / "app.exe", "old app");
  WriteFile(download / "app.exe_NEW", "new app");
  const pid_t application = ::fork();
  if (application == 0) {
    ::pause();
    ::_exit(0);
  }
  const pid_t setup = ::fork();
  if (setup == 0) {
    const auto argv = Command({std::to_string(application), "L", "null", " ", download.string(), "app.exe_NEW"});
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(ReadFile(app / "app.exe"), "old app") << "replaced while the application still ran";
  ::kill(application, SIGKILL);
  ::waitpid(application, nullptr, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(setup, &status, 0), setup);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(app / "app.exe"), "new app");
}

}  // namespace
}  // namespace zephron::test
