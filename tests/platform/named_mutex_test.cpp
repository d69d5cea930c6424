#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/named_mutex.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox.SetEnv("ZEPHRON_MUTEX_DIR", (sandbox.root() / "mutex").string()); }

  // Starts a process that holds the mutex until it is killed; returns once it holds it.
  pid_t HoldInChild(const std::string& name) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      NamedMutex held(name);
      const char byte = held.valid() ? 'y' : 'n';
      [[maybe_unused]] auto n = ::write(ready[1], &byte, 1);
      ::pause();
      ::_exit(0);
    }
    char byte = 0;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y');
    ::close(ready[0]);
    ::close(ready[1]);
    return pid;
  }

  static void Kill(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }

  test::Sandbox sandbox;
};

TEST_F(NamedMutexTest, SecondHandleSeesTheNameAsExisting) {
  NamedMutex first("vqZephron");
  ASSERT_TRUE(first.valid());
  EXPECT_FALSE(first.alreadyExisted());
  NamedMutex second("vqZephron");
  EXPECT_TRUE(second.alreadyExisted());
}

TEST_F(NamedMutexTest, NameIsFreeAgainOnceEveryHandleIsClosed) {
  { NamedMutex probe("TesselServer"); }
  NamedMutex again("TesselServer");
  EXPECT_FALSE(again.alreadyExisted());
}

TEST_F(NamedMutexTest, GlobalAndSessionNamesAreDistinct) {
  NamedMutex global("Global\\vqZephron");
  NamedMutex session("vqZephron");
  EXPECT_FALSE(global.alreadyExisted());
  EXPECT_FALSE(session.alreadyExisted());
  EXPECT_NE(MutexFile("Global\\vqZephron"), MutexFile("vqZephron"));
  EXPECT_NE(MutexFile("Global\\vqZephron").find("/global/"), std::string::npos);
}

TEST_F(NamedMutexTest, AnotherProcessHoldingTheNameIsSeen) {
  const pid_t holder = HoldInChild("Global\\vqZephron");
  {
    NamedMutex probe("Global\\vqZephron");
    EXPECT_TRUE(probe.alreadyExisted());
  }
  Kill(holder);
  // The kernel released the dead holder's lock: nothing is left behind.
  NamedMutex after("Global\\vqZephron");
  EXPECT_FALSE(after.alreadyExisted());
}

TEST_F(NamedMutexTest, NamesWithSlashesStayInsideTheMutexFolder) {
  NamedMutex odd("a/../b");
  ASSERT_TRUE(odd.valid());
  EXPECT_EQ(std::filesystem::path(MutexFile("a/../b")).parent_path(), sandbox.root() / "mutex/session");
}

// The shared folder as another local user could have prepared it before us.
class SharedMutexFolder : public NamedMutexTest {
 protected:
  std::filesystem::path MakeGlobalFolder(mode_t mode) {
    const auto folder = sandbox.root() / "mutex/global";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(::chmod(folder.c_str(), mode), 0);
    return folder;
  }
  static mode_t ModeOf(const std::filesystem::path& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(file.c_str(), &st), 0);
    return st.st_mode & 07777;
  }
};

TEST_F(SharedMutexFolder, PlantedLinkIsNotFollowed) {
  const auto folder = MakeGlobalFolder(01777);
  const auto victim = sandbox.root() / "private.txt";
  test::WriteFile(victim, "mine");
  ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
  std::filesystem::create_symlink(victim, folder / "vqZephron");
  NamedMutex mutex("Global\\vqZephron");
  EXPECT_FALSE(mutex.valid());
  EXPECT_FALSE(mutex.problem().empty());
  EXPECT_EQ(ModeOf(victim), 0600u);
}

TEST_F(SharedMutexFolder, FolderWritableByOthersWithoutStickyBitIsRefused) {
  const auto folder = MakeGlobalFolder(0777);
  NamedMutex mutex("Global\\vqZephron");
  EXPECT_FALSE(mutex.valid());
  EXPECT_NE(mutex.problem().find("not sticky"), std::string::npos) << mutex.problem();
  EXPECT_EQ(ModeOf(folder), 0777u);
}

TEST_F(SharedMutexFolder, FolderOfAnotherUserIsRefused) {
  const auto folder = MakeGlobalFolder(01777);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);  // nobody
  NamedMutex mutex("Global\\vqZephron");
  EXPECT_FALSE(mutex.valid());
  EXPECT_NE(mutex.problem().find("another user"), std::string::npos) << mutex.problem();
}

}  // namespace
}  // namespace zephron::platform
