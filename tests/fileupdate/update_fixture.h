// Shared pieces of the update-path tests: an installation folder that is the
// current folder, an engine whose control file and inner state the test
// sets and reads, and fixtures made with the third-party tools (gcab,
// mscompress) and our patcher. A Windows test program cannot start those
// Linux tools: there the tests' own writers of the same formats make them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/last_error.h"
#ifdef _WIN32
#include "archive/szdd_compress.h"
#include "tests/archive/cab_writer.h"
#endif
#include "tests/engine_transfer/transfer_fixture.h"
#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {

class UpdateEngine : public RecordingEngine {
 public:
  bool AppClose() const { return FAppClose; }
  void SetAppClose(bool close) { FAppClose = close; }
  bool AppCompsIncluded() const { return FAppCompsIncluded; }
  void SetAppComps(const std::string& comps) { FAppComps = comps; }
  void SetSaveUpdate(bool save) { FSaveUpdate = save; }
  void SetNewVersionDate(TDateTime date) { FNewVersionDate = date; }
  void SetCancelled() { FCancelled = true; }
};

inline std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

class UpdateFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    app = sandbox.root() / "app";
    work = sandbox.root() / "work";
    std::filesystem::create_directories(app);
    std::filesystem::create_directories(work);
    std::filesystem::current_path(app);
    // Our patcher, found as "patcher.exe" is, along PATH.
    const char* path = std::getenv("PATH");
#ifdef _WIN32
    constexpr char kSeparator = ';';
#else
    constexpr char kSeparator = ':';
#endif
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + kSeparator + (path ? path : "/usr/bin:/bin"));
    engine.UpdateUpdate = zpuSilent;
  }
  void TearDown() override { platform::ClearLastSystemError(); }

  // Writes the control file and makes it the engine's.
  void UseControlFile(const std::vector<Section>& sections) {
    const auto file = work / "update.inf";
    WriteFile(file, ControlFile(sections));
    engine.SetControlFileName(file.string());
  }

  // A cabinet made by gcab from the named contents ("\" separates folders).
  std::filesystem::path Gcab(const std::string& name, const std::map<std::string, std::string>& files) {
#ifdef _WIN32
    std::vector<CabFile> stored;
    for (const auto& [storedName, bytes] : files) stored.push_back({storedName, bytes});
    WriteFile(work / name, MakeStoredCabinet(stored));
    return work / name;
#endif
    const auto in = work / (name + ".in");
    std::vector<std::string> argv{"gcab", "-c", (work / name).string()};
    for (const auto& [stored, bytes] : files) {
      std::string relative = stored;
      for (char& c : relative) c = c == '\\' ? '/' : c;
      WriteFile(in / relative, bytes);
      argv.push_back(relative);
    }
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(in);
    const auto run = RunProgram(argv);
    std::filesystem::current_path(previous);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return work / name;
  }

  // mscompress's SZDD file of the contents, named name + "_".
  std::filesystem::path Mscompress(const std::string& name, const std::string& bytes) {
#ifdef _WIN32
    // Named as mscompress names it, with "_" added: no letter is missing.
    WriteFile(work / (name + "_"), SzddCompress(bytes, '\0'));
    return work / (name + "_");
#endif
    WriteFile(work / name, bytes);
    const auto run = RunProgram({"mscompress", (work / name).string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::filesystem::remove(work / name);
    return work / (name + "_");
  }

  // A patch from old to new made by our patcher.
  std::string MakePatch(const std::string& oldBytes, const std::string& newBytes) {
    WriteFile(work / "old.bin", oldBytes);
    WriteFile(work / "new.bin", newBytes);
    const auto run = RunProgram({(BuildDir() / "tools/patcher/patcher").string(), "make", (work / "old.bin").string(),
                                 (work / "new.bin").string(), (work / "made.pat").string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return ReadFile(work / "made.pat");
  }

  Sandbox sandbox;
  std::filesystem::path app;
  std::filesystem::path work;
  UpdateEngine engine;
};

}  // namespace zephron::test
