// The patcher program as the updater and the setup program run it: patches
// made and applied on real binaries, every refusal leaving the target as it
// was, and the report redirections their command lines end in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class Patcher : public ::testing::Test {
 protected:
  void SetUp() override {
    work = sandbox.root() / "work";
    fs::create_directories(work);
  }

  static ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), (BuildDir() / "tools/patcher/patcher").string());
    return RunProgram(args);
  }

  // A patch from old to new, as publishers make it.
  std::string Make(const std::string& oldBytes, const std::string& newBytes, const std::string& name = "x.pat") {
    WriteFile(work / "old.bin", oldBytes);
    WriteFile(work / "new.bin", newBytes);
    const fs::path patch = work / name;
    const auto run = Run({"make", (work / "old.bin").string(), (work / "new.bin").string(), patch.string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return patch.string();
  }

  std::vector<std::string> Names(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  Sandbox sandbox;
  fs::path work;
};

TEST_F(Patcher, RoundTripOnRealBinariesKeepsPermissions) {
  const std::string ls = ReadFile("/usr/bin/ls");
  std::string changed = ls;
  for (std::size_t at = 100; at < changed.size(); at += changed.size() / 7) changed[at] = static_cast<char>(~changed[at]);
  changed.insert(changed.size() / 2, "a few bytes more");
  const struct {
    std::string from, to;
  } pairs[] = {{ls, ReadFile("/usr/bin/cp")}, {ls, changed}, {"", ls}, {ls, ""}};
  const fs::path app = sandbox.root() / "app";
  fs::create_directories(app);
  for (const auto& pair : pairs) {
    const std::string patch = Make(pair.from, pair.to);
    const fs::path target = app / "prog";
    WriteFile(target, pair.from);
    fs::permissions(target, fs::perms(0751));
    const auto run = Run({patch, target.string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "") << "quiet without -v";
    EXPECT_TRUE(ReadFile(target) == pair.to) << pair.from.size() << " -> " << pair.to.size() << " bytes";
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0751));
    EXPECT_EQ(Names(app), std::vector<std::string>{"prog"}) << "no temporary file stays behind";
  }
  // Through a link the file it leads to is patched; the link stays.
  fs::create_symlink("prog", app / "link");
  const auto run = Run({Make(ReadFile(app / "prog"), "linked"), (app / "link").string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(fs::is_symlink(app / "link"));
  EXPECT_EQ(ReadFile(app / "prog"), "linked");
  // The base is the patch's dictionary: a few scattered changes cost little.
  EXPECT_LT(fs::file_size(Make(ls, changed)), ls.size() / 20);
}

TEST_F(Patcher, RefusedPatchLeavesTargetAsItWas) {
  const std::string base = ReadFile("/usr/bin/ls");
  const std::string good = ReadFile(Make(base, ReadFile("/usr/bin/cp")));
  const auto tampered = [&](std::size_t at) {
    std::string bytes = good;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
  };
  std::string huge = good;
  huge[16] = 1;  // the base's size becomes 4 GiB and more
  const struct {
    const char* what;
    std::string patch;
    std::string message;
  } cases[] = {
      {"truncated in the header", good.substr(0, 20), "truncated"},
      {"truncated after the header", good.substr(0, 32), "truncated"},
      {"truncated in the data", good.substr(0, good.size() / 2), "truncated"},
      {"result CRC-32 tampered", tampered(20), "not the one announced"},
      {"result size tampered", tampered(24), "damaged"},
      {"data tampered", tampered(good.size() / 2), "damaged"},
      {"data after its end", good + "trailing", "data after its end"},
      {"not a patch", std::string(64, 'x'), "not a patch"},
      {"a short file that is no patch", "PK", "not a patch"},
      {"base over the size bound", huge, "over 2 GiB"},
      {"made for another file", ReadFile(Make("another file", "its new version")), "another file"},
  };
  const fs::path target = work / "prog";
  for (const auto& c : cases) {
    WriteFile(work / "bad.pat", c.patch);
    WriteFile(target, base);
    const auto run = Run({(work / "bad.pat").string(), target.string()});
    EXPECT_EQ(run.exitCode, 1) << c.what;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.what << ": " << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.what << ": one line";
    EXPECT_TRUE(ReadFile(target) == base) << c.what;
    EXPECT_EQ(Names(work), (std::vector<std::string>{"bad.pat", "new.bin", "old.bin", "prog", "x.pat"})) << c.what;
  }
  const auto missing = Run({(work / "x.pat").string(), (work / "missing").string()});
  EXPECT_EQ(missing.exitCode, 1) << missing.output;
  EXPECT_FALSE(fs::exists(work / "missing"));
}

TEST_F(Patcher, ReportRedirectionsAppendToTheNamedFile) {
  const std::string patch = Make("old program", "new program");
  const fs::path target = work / "prog.exe";
  const std::string log = (work / "ZEPHRON.LOG").string();
  // The engine's form, the setup program's form, and the separated one.
  const std::vector<std::vector<std::string>> forms = {{"-v", patch, target.string() + ">>", log},
                                                       {"-v", patch, target.string(), ">>" + log},
                                                       {"-v", patch, target.string(), ">>", log}};
  for (const auto& args : forms) {
    WriteFile(log, "earlier line\r\n");
    WriteFile(target, "old program");
    const auto run = Run(args);
    EXPECT_EQ(run.exitCode, 0) << args[2] << " " << args.back() << ": " << run.output;
    EXPECT_EQ(run.output, "") << "the report goes to the file";
    EXPECT_EQ(ReadFile(target), "new program");
    const std::string report = ReadFile(log);
    // Lines in the engine log's form: the time, " : [000] ", the text.
    EXPECT_TRUE(report.starts_with("earlier line\r\n")) << report;
    EXPECT_NE(report.find(" : [000] Patched " + target.string() + " with " + patch + "\r\n"), std::string::npos)
        << report;
    EXPECT_EQ(report.find(" : [000] "), std::string("earlier line\r\n").size() + 19) << report;
    EXPECT_NE(report.find("Result: 11 bytes, CRC-32 "), std::string::npos) << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), std::count(report.begin(), report.end(), '\r'));
  }
  // A refusal is written there too, as the engine log keeps it.
  WriteFile(log, "");
  const auto refused = Run({patch, target.string() + ">>", log});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(ReadFile(log).find(" : [000] patcher: " + patch + " is for another file"), std::string::npos)
      << ReadFile(log);
  EXPECT_EQ(Run({patch, target.string() + ">>"}).exitCode, 2) << "a redirection without a file";
}

TEST_F(Patcher, VerboseReportGoesToStandardOutput) {
  const std::string patch = Make("old program", "new program!");
  WriteFile(work / "prog", "old program");
  const auto run = Run({"-v", patch, (work / "prog").string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "Patched " + (work / "prog").string() + " with " + patch +
                            "\nBase: 11 bytes, CRC-32 94082DE8\nResult: 12 bytes, CRC-32 1C5FD5B5\n");
}

}  // namespace
}  // namespace zephron::test
