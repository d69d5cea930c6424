// The updater and the setup program killed with SIGKILL at random moments of
// a real update pass over nginx (downloads, unpacking, the hand-over, the
// replacement of files in use and the patch): after every kill each
// installed file holds its old or its new content, never a part, and the
// next "zephron-cli update --yes" completes the update.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"

extern char** environ;

namespace zephron::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Trials per test: each costs an interrupted pass and a completing one, so
// these keep a test near half a minute.
constexpr int kUpdaterTrials = 40;
constexpr int kSetupTrials = 30;

struct Versions {
  std::string before;  // empty: the file is new with the update
  std::string after;
};

class KilledUpdate : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    WriteFile(nginx.DocRoot() / "updates/index.html", "<html>updates</html>");
    const char* path = std::getenv("PATH");
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + ":" + (path ? path : "/usr/bin:/bin"));
    folder = sandbox.root() / "install/Vardel Quillon";
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\Vardel Quillon");
    ASSERT_TRUE(key && key->WriteString("InstallPath", folder.string()) &&
                key->WriteString("UpdateURL", nginx.Url("/updates/")));
    Publish();
    seed = std::random_device{}();
    random.seed(seed);
  }
  void TearDown() override { AwaitSetupGone(); }

  // The release: a plain file, a cabinet, an LZ file, a patch and the
  // program in use. The patch comes before the program among the
  // components: the check compares the program, so it must change last.
  void Publish() {
    const fs::path work = sandbox.root() / "work";
    const std::string program = "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/restarted.txt\"\n";
    std::string data;
    for (int i = 0; i < 20000; ++i) data += "data line " + std::to_string(i) + "\n";
    std::string notes;
    for (int i = 0; i < 20000; ++i) notes += "note " + std::to_string(i) + "\n";
    const std::string oldLibrary = std::string(200000, 'a') + "library version one";
    const std::string newLibrary = std::string(200000, 'a') + "library version two";
    files = {{"Quillon.exe", {"#!/bin/sh\nexit 0\n", program}},
             {"notes.txt", {"old notes", notes}},
             {"lib.exe", {oldLibrary, newLibrary}},
             {"readme.txt", {"", "read me"}},
             {"data.txt", {"", data}}};
    WriteFile(work / "in/readme.txt", "read me");
    WriteFile(work / "data.txt", data);
    WriteFile(work / "old.bin", oldLibrary);
    WriteFile(work / "new.bin", newLibrary);
    const auto previous = fs::current_path();
    fs::current_path(work / "in");
    ASSERT_EQ(RunProgram({"gcab", "-c", (work / "docs.cab").string(), "readme.txt"}).exitCode, 0);
    fs::current_path(previous);
    ASSERT_EQ(RunProgram({"mscompress", (work / "data.txt").string()}).exitCode, 0);
    ASSERT_EQ(RunProgram({(BuildDir() / "tools/patcher/patcher").string(), "make", (work / "old.bin").string(),
                          (work / "new.bin").string(), (work / "lib.pat").string()})
                  .exitCode,
              0);
    served = {{"docs.cab", ReadFile(work / "docs.cab")},
              {"data.txt_", ReadFile(work / "data.txt_")},
              {"lib.pat", ReadFile(work / "lib.pat")},
              {"Quillon.exe_NEW", program},
              {"notes.txt", notes}};
    for (const auto& [name, bytes] : served) WriteFile(nginx.DocRoot() / "updates/quillon" / name, bytes);
    WriteFile(nginx.DocRoot() / "updates/quillon/quillon.INF",
              "[update]\nlocalversion=Quillon.exe\nnewsize=" + std::to_string(program.size()) + "\nnewversion=3.2\n"
              "[application]\nappupdate=1\nappname=Quillon.exe\nappparam=--restarted\n"
              "appcomps=lib.pat Quillon.exe_NEW\n"
              "[files]\ncount=5\n"
              "[file1]\nurl=notes.txt\ndescr=Notes\n[file2]\nurl=docs.cab\ncompressed=1\ndescr=Documents\n"
              "[file3]\nurl=data.txt_\ncompressed=1\ndescr=Data\n[file4]\nurl=lib.pat\ndescr=Library\n"
              "[file5]\nurl=Quillon.exe_NEW\ndescr=Program\n");
  }
  // The installation as it was before the update.
  void Reinstall() {
    fs::remove_all(folder);
    fs::remove_all(sandbox.documents());
    fs::create_directories(sandbox.documents());
    for (const auto& [name, versions] : files) {
      if (!versions.before.empty()) WriteFile(folder / name, versions.before);
    }
    fs::permissions(folder / "Quillon.exe", fs::perms::owner_all);
  }
  pid_t StartCli() {
    const std::string cli = (BuildDir() / "app/cli/zephron-cli").string();
    std::vector<std::string> args{cli, "update", "--yes"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = (sandbox.root() / "cli.out").string();
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // Every process the updater starts inherits the mark, also one that a
    // kill leaves between its fork and its exec, which still bears the
    // updater's command line.
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) envp.push_back(*variable);
    std::string mark = Mark();
    envp.push_back(mark.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The environment variable that marks the processes of this test's updates.
  std::string Mark() const { return "ZEPHRON_KILL_TEST_RUN=" + sandbox.root().string(); }
  // The setup programs working on this installation (their command lines name
  // its folder) when setupOnly; else every process an updater of this test
  // started, the setup programs and the application they restart among them.
  std::vector<pid_t> SetupProcesses(bool setupOnly = false) const {
    std::vector<pid_t> found;
    std::error_code ec;
    const std::string mark = Mark();
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      // A process may end while it is looked at: its file then reads as empty.
      const auto read = [&entry](const char* file) {
        std::string text;
        try {
          std::ifstream in(entry.path() / file, std::ios::binary);
          text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } catch (const std::exception&) {
        }
        return text;
      };
      const bool ours = setupOnly ? read("cmdline").find("zephronsetup") != std::string::npos &&
                                        read("cmdline").find(folder.string()) != std::string::npos
                                  : read("environ").find(mark + '\0') != std::string::npos;
      if (ours) found.push_back(std::stoi(name));
    }
    return found;
  }
  // Bounded: a setup program that never ends fails the check after it. One
  // look at /proc can miss a process in the middle of its exec (its
  // environment then reads as empty), so none must be seen twice in a row.
  void AwaitSetupGone() {
    for (int i = 0, clear = 0; i < 1000 && clear < 2; ++i) {
      clear = SetupProcesses().empty() ? clear + 1 : 0;
      if (clear < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // "" when every installed file holds its old or its new content and every
  // downloaded file lying about is whole; else what is wrong.
  std::string OldOrNew(bool complete) const {
    std::string wrong;
    for (const auto& [name, versions] : files) {
      const fs::path path = folder / name;
      if (!fs::exists(path)) {
        if (!versions.before.empty() || complete) wrong += name + " missing\n";
        continue;
      }
      const std::string bytes = ReadFile(path);
      if (bytes != versions.after && (complete || bytes != versions.before)) {
        wrong += name + ": " + std::to_string(bytes.size()) + " bytes, neither old nor new\n";
      }
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      // The setup program is written out beside the downloads and stays.
      if (files.count(name) || name == "restarted.txt" || name == "zephronsetup.exe") continue;
      const auto download = served.find(name);
      if (download != served.end()) {
        if (ReadFile(entry.path()) != download->second) wrong += name + ": a partial download\n";
        continue;
      }
      // Scratch files of a killed process may stay: a download's ZEP*.tmp
      // (a later pass removes it once it is a day old) and an LZ
      // expansion's "<name>.lz" + eight hex digits (of data.txt_ or of the
      // setup program; nothing removes it). Neither is an installed file.
      // Anything else is a leftover only while the update is incomplete.
      const bool lzScratch = name.size() > 11 && name.compare(name.size() - 11, 3, ".lz") == 0 &&
                             name.find_first_not_of("0123456789abcdef", name.size() - 8) == std::string::npos;
      const bool temporary = (name.starts_with("ZEP") && name.ends_with(".tmp")) || lzScratch;
      if (complete && !temporary) wrong += name + " left behind\n";
    }
    return wrong;
  }
  // Where the killed updater was, by the last line it printed.
  std::string Phase() const {
    const std::string output = ReadFile(sandbox.root() / "cli.out");
    if (output.find("The setup program completes") != std::string::npos) return "after the hand-over";
    const std::size_t at = output.rfind("Downloading: ");
    if (at == std::string::npos) return "before the downloads";
    return "at or after the download of " + output.substr(at + 13, output.find('\n', at) - at - 13);
  }
  std::string Trace() const {
    return "seed " + std::to_string(seed) + "\nlast output:\n" + ReadFile(sandbox.root() / "cli.out") +
           "engine log:\n" + ReadFile(sandbox.documents() / "ZEPHRON.LOG");
  }

  NginxServer nginx;
  fs::path folder;
  std::map<std::string, Versions> files;
  std::map<std::string, std::string> served;
  unsigned seed = 0;
  std::mt19937 random;
};

TEST_F(KilledUpdate, UpdaterKilledAnywhereLeavesOldOrNewFilesAndTheNextPassCompletes) {
  // One whole pass first: the updater's life, which the kills are spread over.
  Reinstall();
  const auto start = Clock::now();
  ASSERT_EQ(Reap(StartCli()), 0) << Trace();
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  AwaitSetupGone();
  ASSERT_EQ(OldOrNew(true), "") << Trace();

  int survived = 0;
  std::map<std::string, int> phases;
  for (int trial = 0; trial < kUpdaterTrials; ++trial) {
    Reinstall();
    const auto moment = std::uniform_int_distribution<long>(0, span)(random);
    const pid_t pid = StartCli();
    std::this_thread::sleep_for(std::chrono::microseconds(moment));
    kill(pid, SIGKILL);
    Reap(pid);
    AwaitSetupGone();
    ++phases[Phase()];
    const std::string after = OldOrNew(false);
    EXPECT_EQ(after, "") << Trace() << "killed after " << moment << " us";
    const int rerun = Reap(StartCli());
    AwaitSetupGone();
    const std::string completed = OldOrNew(true);
    EXPECT_EQ(completed, "") << Trace() << "killed after " << moment << " us, rerun exit " << rerun;
    if (after.empty() && completed.empty()) ++survived;
  }
  RecordProperty("trials", kUpdaterTrials);
  RecordProperty("survived", survived);
  std::printf("updater killed: %d trials, %d survived\n", kUpdaterTrials, survived);
  for (const auto& [phase, count] : phases) std::printf("  %2d killed %s\n", count, phase.c_str());
}

TEST_F(KilledUpdate, SetupProgramKilledWhileReplacingLeavesOldOrNewFilesAndARerunCompletes) {
  // The setup program's own span: from the updater's end to its own.
  Reinstall();
  ASSERT_EQ(Reap(StartCli()), 0) << Trace();
  const auto start = Clock::now();
  AwaitSetupGone();
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  ASSERT_EQ(OldOrNew(true), "") << Trace();

  int survived = 0, hit = 0;
  for (int trial = 0; trial < kSetupTrials; ++trial) {
    Reinstall();
    ASSERT_EQ(Reap(StartCli()), 0) << Trace();
    const auto moment = std::uniform_int_distribution<long>(0, span)(random);
    std::this_thread::sleep_for(std::chrono::microseconds(moment));
    bool killed = false;
    for (const pid_t pid : SetupProcesses(true)) killed = kill(pid, SIGKILL) == 0 || killed;
    hit += killed;
    AwaitSetupGone();
    const std::string after = OldOrNew(false);
    EXPECT_EQ(after, "") << Trace() << "killed after " << moment << " us";
    const int rerun = Reap(StartCli());
    AwaitSetupGone();
    const std::string completed = OldOrNew(true);
    EXPECT_EQ(completed, "") << Trace() << "killed after " << moment << " us, rerun exit " << rerun;
    if (after.empty() && completed.empty()) ++survived;
  }
  RecordProperty("trials", kSetupTrials);
  RecordProperty("survived", survived);
  std::printf("setup program killed: %d trials (%d while running), %d survived\n", kSetupTrials, hit, survived);
}

}  // namespace
}  // namespace zephron::test
