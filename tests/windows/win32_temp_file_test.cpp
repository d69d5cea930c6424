// The temporary download files on Windows: their share mode is their lock,
// and the removal of abandoned ones leaves every file still held alone.
#include <gtest/gtest.h>

#include <windows.h>
#undef DeleteFile

#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/temp_file.h"
#include "platform/win32_text.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class Win32TempFile : public ::testing::Test {
 protected:
  std::string folder() const { return win32::NarrowPath(sandbox.temp().wstring()) + "/"; }
  static void Age(const fs::path& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  // Whether the file can be opened with this access beside the handles open on it.
  static bool Opens(const std::string& path, DWORD access) {
    HANDLE file = ::CreateFileW(win32::WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
  }
  test::Sandbox sandbox;
};

TEST_F(Win32TempFile, KeepsOtherWritersOutUntilClosedAndCopiesAFile) {
  auto temp = TempFile::Create(folder());
  ASSERT_TRUE(temp);
  const std::string name = fs::path(temp->path()).filename().string();
  EXPECT_EQ(name.substr(0, 3), "ZEP");
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_FALSE(Opens(temp->path(), GENERIC_WRITE));
  EXPECT_FALSE(Opens(temp->path(), DELETE));
  EXPECT_TRUE(Opens(temp->path(), GENERIC_READ));

  const std::string data(100000, 'q');
  WriteFile(sandbox.temp() / "source.bin", data);
  std::unique_ptr<std::FILE, decltype(&std::fclose)> in(_wfopen((sandbox.temp() / "source.bin").c_str(), L"rb"),
                                                        &std::fclose);
  ASSERT_TRUE(in);
  std::setvbuf(in.get(), nullptr, _IONBF, 0);
  std::vector<std::byte> block(32 * 1024);
  bool kernelCopy = true;
  ssize_t n = 0;
  while ((n = temp->CopyFrom(in.get(), block, kernelCopy)) > 0) {
  }
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(kernelCopy);
  ASSERT_TRUE(temp->Close());
  EXPECT_TRUE(Opens(temp->path(), GENERIC_WRITE));
  EXPECT_EQ(ReadFile(temp->path()), data);

  const std::string path = temp->path();
  temp.reset();
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(Win32TempFile, StaleRemovalTakesOnlyOldFilesNoOneHolds) {
  const fs::path abandoned = sandbox.temp() / "ZEP1A2B.tmp";
  WriteFile(abandoned, "left behind");
  const fs::path recent = sandbox.temp() / "ZEPBEEF.tmp";
  WriteFile(recent, "new");
  const fs::path foreign = sandbox.temp() / "other.tmp";
  WriteFile(foreign, "not ours");
  const fs::path held = sandbox.temp() / "ZEPC0DE.tmp";
  WriteFile(held, "in use");
  for (const auto& path : {abandoned, foreign, held}) Age(path);
  // Held as a live writer holds its file.
  HANDLE writer = ::CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);

  EXPECT_EQ(RemoveStaleTempFiles(folder(), std::chrono::hours(24)), 1);
  ::CloseHandle(writer);
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(held));
  EXPECT_TRUE(fs::exists(recent));
  EXPECT_TRUE(fs::exists(foreign));
}

}  // namespace
}  // namespace zephron::platform
