// Putting downloads in place and cleaning up after killed downloads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/temp_file.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// A source on /dev/shm (tmpfs) and a target folder in the build tree: two file systems.
class CrossDeviceMove : public ::testing::Test {
 protected:
  void SetUp() override {
    source = fs::path("/dev/shm") / ("zephron-move-" + std::to_string(::getpid()));
    target = test::BuildDir() / ("move-target-" + std::to_string(::getpid()));
    fs::create_directories(source);
    fs::create_directories(target);
    struct stat a {}, b {};
    ASSERT_EQ(::stat(source.c_str(), &a), 0);
    ASSERT_EQ(::stat(target.c_str(), &b), 0);
    ASSERT_NE(a.st_dev, b.st_dev) << source << " and " << target << " are on one device: the test proves nothing";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(source, ec);
    fs::remove_all(target, ec);
  }
  std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path source;
  fs::path target;
};

TEST_F(CrossDeviceMove, ReplacesTheTargetAndRemovesTheSource) {
  WriteFile(source / "new.bin", std::string(200000, 'n'));
  WriteFile(target / "app.bin", "old");
  fs::permissions(target / "app.bin", fs::perms::owner_read);
  ASSERT_TRUE(MoveFileReplacing((source / "new.bin").string(), (target / "app.bin").string()));
  EXPECT_EQ(ReadFile(target / "app.bin"), std::string(200000, 'n'));
  EXPECT_FALSE(fs::exists(source / "new.bin"));
  EXPECT_EQ(Entries(target), std::vector<std::string>{"app.bin"});
}

TEST_F(CrossDeviceMove, FailedCopyLeavesTheOldTargetAndNoCopy) {
  WriteFile(source / "new.bin", std::string(200000, 'n'));
  WriteFile(target / "app.bin", "old");
  // A file-size limit below the source makes the copy fail as a full disk would.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 65536;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool moved = MoveFileReplacing((source / "new.bin").string(), (target / "app.bin").string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_FALSE(moved);
  EXPECT_EQ(ReadFile(target / "app.bin"), "old");
  EXPECT_EQ(Entries(target), std::vector<std::string>{"app.bin"});
  EXPECT_TRUE(fs::exists(source / "new.bin"));
}

// Block copies: by the kernel where it copies between the two files, else
// through the buffer, in blocks of the buffer's size either way.
TEST_F(CrossDeviceMove, BlockCopyFallsBackToReadAndWriteWhenTheKernelRefuses) {
  std::string data(100000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 300);
  WriteFile(source / "data.bin", data);
  std::vector<std::byte> buffer(32768);
  const auto copy = [&](const fs::path& to, int extraFlags, bool& kernelCopy) {
    const int in = ::open((source / "data.bin").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | extraFlags, 0644);
    std::vector<ssize_t> blocks;
    for (ssize_t n = 1; n > 0 && blocks.size() < 10;) blocks.push_back(n = CopyFileBlock(in, out, buffer, kernelCopy));
    ::close(in);
    ::close(out);
    return blocks;
  };
  const std::vector<ssize_t> expected{32768, 32768, 32768, 1696, 0};
  // Another file system: the kernel may copy or refuse (older kernels
  // copied, newer ones refuse); the copy is whole either way.
  bool kernelCopy = true;
  EXPECT_EQ(copy(target / "other-device.bin", 0, kernelCopy), expected);
  EXPECT_EQ(ReadFile(target / "other-device.bin"), data);
  // A file open for appending is never one the kernel copies into.
  kernelCopy = true;
  EXPECT_EQ(copy(source / "appended.bin", O_APPEND, kernelCopy), expected);
  EXPECT_FALSE(kernelCopy);
  EXPECT_EQ(ReadFile(source / "appended.bin"), data);
}

// Copies into a temporary file go from the source's pages, mapped, in blocks
// of the buffer's size; what the mapping does not hold goes between the files.
class TempFileCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    temp = TempFile::Create(sandbox.temp().string() + "/");
    ASSERT_TRUE(temp);
  }
  static std::string Pattern(std::size_t size, int seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 13 + i / 700 + seed);
    return data;
  }
  // The source, open unbuffered as the engine opens it.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> Open(const fs::path& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (in) std::setvbuf(in.get(), nullptr, _IONBF, 0);
    return in;
  }
  ssize_t Next(std::FILE* in) { return temp->CopyFrom(in, buffer, kernelCopy); }

  test::Sandbox sandbox;
  std::optional<TempFile> temp;
  std::vector<std::byte> buffer = std::vector<std::byte>(32768);
  bool kernelCopy = true;
};

TEST_F(TempFileCopy, StartsAtTheSourcePositionAndGoesOnPastWhatTheSourceGrewBy) {
  const fs::path from = sandbox.temp() / "source.bin";
  const std::string data = Pattern(100000, 1);
  const std::string more = Pattern(50000, 2);
  WriteFile(from, data);
  auto in = Open(from);
  ASSERT_TRUE(in);
  ASSERT_EQ(std::fseek(in.get(), 1000, SEEK_SET), 0);
  std::vector<ssize_t> blocks{Next(in.get())};
  ASSERT_TRUE(AppendToFile(from.string(), more));
  for (ssize_t n = 1; n > 0 && blocks.size() < 20;) blocks.push_back(n = Next(in.get()));
  ASSERT_TRUE(temp->Close());
  EXPECT_EQ(blocks, (std::vector<ssize_t>{32768, 32768, 32768, 696, 32768, 17232, 0}));
  EXPECT_TRUE(kernelCopy);
  EXPECT_EQ(ReadFile(temp->path()), data.substr(1000) + more);
}

TEST_F(TempFileCopy, SourceCutShortFailsTheCopyAndNotTheProcess) {
  const fs::path from = sandbox.temp() / "source.bin";
  WriteFile(from, Pattern(300000, 3));
  auto in = Open(from);
  ASSERT_TRUE(in);
  ASSERT_EQ(Next(in.get()), 32768);
  fs::resize_file(from, 40000);
  ssize_t n = 1;
  for (int i = 0; i < 20 && n > 0; ++i) n = Next(in.get());
  EXPECT_EQ(n, -1);
}

// The process's resident memory, exact (a walk of its mappings), in KiB.
long ResidentKiB() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  for (std::string line; std::getline(rollup, line);) {
    if (line.rfind("Rss:", 0) == 0) return std::stol(line.substr(4));
  }
  return -1;
}

TEST_F(TempFileCopy, MappedSourceDoesNotStayInTheProcessMemory) {
  const fs::path from = sandbox.temp() / "large.bin";
  WriteFile(from, "");
  fs::resize_file(from, 96 << 20);  // a hole reads as zeros, from the page cache like data
  auto in = Open(from);
  ASSERT_TRUE(in);
  const long before = ResidentKiB();
  ASSERT_GT(before, 0);
  long peak = before;
  std::int64_t total = 0;
  for (ssize_t n = 1; n > 0;) {
    n = Next(in.get());
    total += n;
    if (total % (1 << 20) == 0) peak = std::max(peak, ResidentKiB());
  }
  EXPECT_EQ(total, 96 << 20);
  EXPECT_LT(peak - before, 16 << 10) << "KiB more than before the copy";
}

TEST_F(TempFileCopy, RoomSetAsideIsGivenBackWhenTheFileComesOutShorter) {
  temp->Reserve(std::int64_t{64} << 20);
  const std::string data = Pattern(5000, 4);
  ASSERT_TRUE(temp->Write(std::as_bytes(std::span(data))));
  ASSERT_TRUE(temp->Close());
  struct stat info {};
  ASSERT_EQ(::stat(temp->path().c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 5000);
  EXPECT_LT(info.st_blocks * 512, 1 << 20);
  EXPECT_EQ(ReadFile(temp->path()), data);
}

class StaleTempFiles : public ::testing::Test {
 protected:
  void Age(const fs::path& path) { fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(48)); }
  std::string folder() const { return sandbox.temp().string() + "/"; }
  test::Sandbox sandbox;
};

TEST_F(StaleTempFiles, FileOfAKilledWriterIsRemovedOneStillHeldStays) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto temp = TempFile::Create(folder());
    const std::string name = temp ? temp->path() : std::string();
    (void)!::write(pipe[1], name.data(), name.size());
    ::_exit(0);  // no destructor: the file stays, as after a kill
  }
  ::close(pipe[1]);
  char name[512] = {};
  const ssize_t got = ::read(pipe[0], name, sizeof name - 1);
  ::close(pipe[0]);
  ::waitpid(child, nullptr, 0);
  ASSERT_GT(got, 0);
  const fs::path abandoned = name;
  ASSERT_TRUE(fs::exists(abandoned));

  auto live = TempFile::Create(folder());
  ASSERT_TRUE(live);
  const fs::path recent = sandbox.temp() / "ZEPBEEF.tmp";
  WriteFile(recent, "new");
  const fs::path foreign = sandbox.temp() / "other.tmp";
  WriteFile(foreign, "not ours");
  for (const auto& path : {abandoned, fs::path(live->path()), foreign}) Age(path);

  EXPECT_EQ(RemoveStaleTempFiles(folder(), std::chrono::hours(24)), 1);
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(live->path()));
  EXPECT_TRUE(fs::exists(recent));
  EXPECT_TRUE(fs::exists(foreign));
}

}  // namespace
}  // namespace zephron::platform
