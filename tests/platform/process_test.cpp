// Processes: the Windows splitting of command lines, program lookup, exit
// codes, detached starts and the opening of documents and URLs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/last_error.h"
#include "platform/process.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRulesForQuotesAndBackslashes) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("  a   b\tc "), (Args{"a", "b", "c"}));
  // The program name: quotes end it, backslashes are plain.
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" -v"), (Args{"C:\\Program Files\\x.exe", "-v"}));
  EXPECT_EQ(SplitCommandLine("dir\\\"x y"), (Args{"dir\\\"x", "y"}));
  // Quotes inside arguments join and split.
  EXPECT_EQ(SplitCommandLine("p a\"b c\"d \"\""), (Args{"p", "ab cd", ""}));
  EXPECT_EQ(SplitCommandLine("p \"say \"\"hi\"\"\""), (Args{"p", "say \"hi\""}));
  // Backslashes: literal unless they stand before a quote.
  EXPECT_EQ(SplitCommandLine("p a\\\\b \\\\\\\"c \"d\\\\\" \"e\\\\\\\"f\""), (Args{"p", "a\\\\b", "\\\"c", "d\\", "e\\\"f"}));
  EXPECT_EQ(SplitCommandLine("p C:\\dir\\ \"C:\\dir\\\\\""), (Args{"p", "C:\\dir\\", "C:\\dir\\"}));
  // No shell: redirections and pipes are arguments.
  EXPECT_EQ(SplitCommandLine("patcher.exe -v x.pat /app/x>> ZEPHRON.LOG | more & x"),
            (Args{"patcher.exe", "-v", "x.pat", "/app/x>>", "ZEPHRON.LOG", "|", "more", "&", "x"}));
}

class Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    bin = sandbox.root() / "bin";
    fs::create_directories(bin);
    sandbox.SetEnv("PATH", bin.string() + ":/usr/bin:/bin");
    fs::current_path(sandbox.root());
  }
  // A shell script that the lookup can find.
  fs::path Script(const fs::path& path, const std::string& body) {
    test::WriteFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  // Waits (bounded) for a file that a detached program writes.
  std::string AwaitFile(const fs::path& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return test::ReadFile(path);
  }

  test::Sandbox sandbox;
  fs::path bin;
};

TEST_F(Processes, LookupPrefersTheCurrentFolderToPathAndDropsDotExe) {
  Script(bin / "tool", "exit 0");
  EXPECT_EQ(FindProgram("tool.EXE"), (bin / "tool").string());
  Script(sandbox.root() / "tool", "exit 0");
  EXPECT_EQ(FindProgram("tool.exe"), (sandbox.root() / "tool").string());
  test::WriteFile(bin / "plain", "not executable");
  EXPECT_FALSE(FindProgram("plain"));
  EXPECT_FALSE(FindProgram("missing.exe"));
  EXPECT_EQ(FindProgram("./tool"), "./tool");
}

TEST_F(Processes, StartAndWaitGivesTheExitCodeAndPassesShellSignsAsArguments) {
  EXPECT_EQ(StartAndWait("sh -c \"exit 3\"", WindowState::Hidden), 3u);
  EXPECT_EQ(StartAndWait("sh -c \"kill -9 $$\"", WindowState::ShownNormally), 137u);
  EXPECT_EQ(StartAndWait("sh -c \"printf '%s;' \\\"$@\\\" > args\" sh a>>b | & \"c d\"", WindowState::Hidden), 0u);
  EXPECT_EQ(test::ReadFile("args"), "a>>b;|;&;c d;");
  EXPECT_FALSE(StartAndWait("no-such-program.exe x", WindowState::Hidden));
  EXPECT_EQ(LastSystemError().code, 2u);
}

TEST_F(Processes, WinExecStartsDetachedSoTheProgramOutlivesItsStarter) {
  const fs::path out = sandbox.root() / "alive";
  const pid_t starter = ::fork();
  if (starter == 0) {
    const auto result = WinExec("sh -c \"sleep 0.3; echo $PPID > " + out.string() + "\"", WindowState::Hidden);
    ::_exit(result > 31 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(starter, &status, 0), starter);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string parent = AwaitFile(out);
  ASSERT_FALSE(parent.empty()) << "the program died with its starter";
  EXPECT_NE(std::stoi(parent), starter);
  EXPECT_EQ(WinExec("missing.exe", WindowState::Hidden), 2u);
}

TEST_F(Processes, ShellOpenStartsProgramsAndHandsOtherTargetsToTheOpener) {
  Script(bin / "viewer", "echo \"$@\" > viewer.args");
  EXPECT_GT(ShellExecuteOpen("viewer.exe", "-new \"http://x/a b\"", WindowState::ShownNormally), 32);
  EXPECT_EQ(AwaitFile(sandbox.root() / "viewer.args"), "-new http://x/a b\n");
  EXPECT_EQ(ShellExecuteOpen("iexplore.exe", "-new http://x/", WindowState::ShownNormally), 2);

  sandbox.SetEnv("PATH", bin.string());
  EXPECT_EQ(ShellExecuteOpen("http://updates.example/news.html", "", WindowState::ShownNormally), 31)
      << "no opener on this PATH";
  Script(bin / "xdg-open", "echo \"$1\" > opened; exit 0");
  EXPECT_GT(ShellExecuteOpen("http://updates.example/news.html", "", WindowState::ShownNormally), 32);
  EXPECT_EQ(test::ReadFile("opened"), "http://updates.example/news.html\n");
  Script(bin / "xdg-open", "exit 3");
  EXPECT_EQ(ShellExecuteOpen("http://updates.example/news.html", "", WindowState::ShownNormally), 31);

  std::string handed;
  SetDocumentOpener([&](const std::string& target) {
    handed = target;
    return true;
  });
  test::WriteFile("readme.txt", "text");
  EXPECT_GT(ShellExecuteOpen("readme.txt", "", WindowState::ShownNormally), 32);
  EXPECT_EQ(handed, "readme.txt");
  SetDocumentOpener(nullptr);
}

}  // namespace
}  // namespace zephron::platform
