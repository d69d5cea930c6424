// fileUpdate retrievals: local copies through the temporary file.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/engine_transfer/transfer_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class LocalCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.UpdateType = fileUpdate;
    engine.UpdateUpdate = zpuSilent;
    share = sandbox.root() / "share";
    target = sandbox.root() / "target";
    fs::create_directories(target);
    WriteFile(share / "app.bin", std::string(100000, 'a'));
  }
  bool Get(const std::string& url, const std::string& tgt) { return engine.URLGetFile({}, url, false, tgt); }

  Sandbox sandbox;
  RecordingEngine engine;
  fs::path share;
  fs::path target;
};

TEST_F(LocalCopy, FolderTargetTakesNameFromSource) {
  std::vector<int> positions;
  engine.OnFileProgress = [&](TZephron&, const std::string& name, int pos, int size) {
    EXPECT_EQ(name, (share / "app.bin").string());
    EXPECT_EQ(size, 100000);
    positions.push_back(pos);
  };
  std::string downloaded;
  engine.OnFileDownloaded = [&](TZephron&, const std::string& name) { downloaded = name; };
  ASSERT_TRUE(Get((share / "app.bin").string(), target.string() + "/"));
  EXPECT_EQ(ReadFile(target / "app.bin"), std::string(100000, 'a'));
  EXPECT_EQ(downloaded, target.generic_string() + "/app.bin");
  // 32768-byte blocks: 32768, 65536, 98304, 100000, then the empty read.
  EXPECT_EQ(positions, (std::vector<int>{32768, 65536, 98304, 100000, 100000}));
  EXPECT_EQ(engine.Idents(), std::vector<int>{msgDownload});
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(LocalCopy, FileTargetIsWrittenUnderItsOwnName) {
  ASSERT_TRUE(Get((share / "app.bin").string(), (target / "renamed.dat").string()));
  EXPECT_TRUE(fs::exists(target / "renamed.dat"));
  EXPECT_FALSE(fs::exists(target / "app.bin"));
}

TEST_F(LocalCopy, BackslashPathsAreSeparators) {
  std::string source = (share / "app.bin").string();
  for (char& c : source) c = c == '/' ? '\\' : c;
  ASSERT_TRUE(Get(source, target.string() + "\\"));
  EXPECT_TRUE(fs::exists(target / "app.bin"));
}

TEST_F(LocalCopy, CopyOntoItselfIsRefused) {
  const std::string path = (share / "app.bin").string();
  EXPECT_FALSE(Get(path, path));
  const auto* report = engine.Find(msgEqualSourceTarget);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->arg, path);
  EXPECT_EQ(report->status, 10);
  EXPECT_EQ(report->error, 3);
  EXPECT_EQ(ReadFile(share / "app.bin"), std::string(100000, 'a'));
}

TEST_F(LocalCopy, MissingSourceReportsFileNotFound) {
  EXPECT_FALSE(Get((share / "none.bin").string(), target.string() + "/"));
  const auto* report = engine.Find(msgLocalFileNotFound);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->status, 2);
  EXPECT_EQ(report->error, 1);
}

TEST_F(LocalCopy, ReadOnlyTargetIsReplaced) {
  WriteFile(target / "app.bin", "old");
  fs::permissions(target / "app.bin", fs::perms::owner_read);
  fs::permissions(share, fs::perms::owner_all | fs::perms::others_exec);
  EXPECT_EQ(AsUnprivilegedUser(sandbox, {target, sandbox.temp(), share / "app.bin"}, [&]() -> std::string {
              if (!Get((share / "app.bin").string(), target.string() + "/")) return "not fetched";
              if (fs::file_size(target / "app.bin") != 100000u) return "not replaced";
              return "";
            }),
            "");
}

TEST_F(LocalCopy, CancelByHandlerLeavesTargetAndNoTemporaryFile) {
  WriteFile(target / "app.bin", "old");
  engine.OnProgressCancel = [](TZephron&, bool& cancel) { cancel = true; };
  EXPECT_FALSE(Get((share / "app.bin").string(), target.string() + "/"));
  EXPECT_TRUE(engine.Cancelled());
  EXPECT_EQ(ReadFile(target / "app.bin"), "old");
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(LocalCopy, CancelledFlagDoesNotStopLocalCopy) {
  engine.Cancel();
  ASSERT_TRUE(Get((share / "app.bin").string(), target.string() + "/"));
  EXPECT_FALSE(engine.Cancelled());
}

TEST_F(LocalCopy, FolderInTheWayOfTargetIsNotReplaced) {
  fs::create_directories(target / "app.bin" / "inner");
  EXPECT_FALSE(Get((share / "app.bin").string(), target.string() + "/"));
  EXPECT_TRUE(fs::is_directory(target / "app.bin" / "inner"));
  ASSERT_NE(engine.Find(msgCannotDeleteFile), nullptr);
  EXPECT_EQ(engine.Find(msgCannotDeleteFile)->error, 6);
  // The copy that could not be put in place does not stay behind either.
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(LocalCopy, SourceEndingInSeparatorIsRefusedForFolderTarget) {
  EXPECT_FALSE(Get(share.string() + "/", target.string() + "/"));
  EXPECT_NE(engine.Find(msgFileNotFound), nullptr);
  EXPECT_TRUE(fs::is_directory(target));
}

TEST_F(LocalCopy, OnlyRegularFilesAreCopiedOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has neither named pipes in folders nor device files to link to";
#else
  ASSERT_EQ(::mkfifo((share / "fifo.inf").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", share / "zero.inf");
  for (const char* name : {"fifo.inf", "zero.inf"}) {
    engine.reports.clear();
    EXPECT_FALSE(Get((share / name).string(), target.string() + "/")) << name;
    EXPECT_NE(engine.Find(msgLocalFileNotFound), nullptr) << name;
    EXPECT_FALSE(fs::exists(target / name)) << name;
  }
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
#endif
}

TEST_F(LocalCopy, ControlFilePastItsSizeBoundIsRefused) {
  engine.ControlFileSizeLimit = 50000;
  EXPECT_FALSE(engine.URLGetBoundedFile((share / "app.bin").string(), engine.ControlFileSizeLimit));
  EXPECT_FALSE(fs::exists(sandbox.temp() / "app.bin"));
  ASSERT_NE(engine.Find(msgSystemError), nullptr);
  EXPECT_EQ(engine.Find(msgSystemError)->error, 223);
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(LocalCopy, StaleTemporaryFileGoesOnFirstUseOfTheDownloadFolder) {
  const fs::path stale = sandbox.temp() / "ZEP1234.tmp";
  WriteFile(stale, "left by a killed pass");
  fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(48));
  ASSERT_TRUE(Get((share / "app.bin").string(), target.string() + "/"));
  EXPECT_FALSE(fs::exists(stale));
}

TEST_F(LocalCopy, EmptySourceIsCopied) {
  WriteFile(share / "empty.txt", "");
  ASSERT_TRUE(Get((share / "empty.txt").string(), target.string() + "/"));
  EXPECT_TRUE(fs::exists(target / "empty.txt"));
}

}  // namespace
}  // namespace zephron::test
