// Cabinet extraction through the system's FDI: a cabinet made by gcab on the
// build machine, and plain cabinets written here for what no packer makes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/cabinet.h"
#include "tests/archive/cab_writer.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class Win32Cabinet : public ::testing::Test {
 protected:
  std::string Target() const { return (box_.root() / "T").string() + "/"; }
  test::Sandbox box_;
};

TEST_F(Win32Cabinet, GcabsCompressedCabinetRecreatesItsFilesAndFolders) {
  // Made by the build: cab_in/a.txt and cab_in/sub/b.txt in MSZIP.
  ASSERT_EQ(ExtractCabinet("sample.cab", Target()), 0);
  EXPECT_EQ(ReadFile(box_.root() / "T/a.txt"), ReadFile("cab_in/a.txt"));
  EXPECT_EQ(ReadFile(box_.root() / "T/sub/b.txt"), ReadFile("cab_in/sub/b.txt"));
  EXPECT_FALSE(ReadFile("cab_in/sub/b.txt").empty());
}

TEST_F(Win32Cabinet, StoredTimesAreLocalTimeAndReadOnlyEntriesBecomeWritable) {
  WriteFile(box_.root() / "t.cab", test::MakeStoredCabinet({{"when.txt", "x", 0x21}}));
  ASSERT_EQ(ExtractCabinet((box_.root() / "t.cab").string(), Target()), 0);
  const fs::path file = box_.root() / "T/when.txt";
  EXPECT_EQ(ReadFile(file), "x");
  const DWORD attributes = ::GetFileAttributesW(file.wstring().c_str());
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);

  FILETIME local{}, expected{};
  ASSERT_TRUE(::DosDateTimeToFileTime(test::kDosDate, test::kDosTime, &local));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &expected));
  HANDLE handle = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME written{};
  ::GetFileTime(handle, nullptr, nullptr, &written);
  ::CloseHandle(handle);
  EXPECT_EQ(written.dwLowDateTime, expected.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, expected.dwHighDateTime);
}

TEST_F(Win32Cabinet, ATextFileNamedCabAndAMissingOneYieldMinusOneAndCreateNothing) {
  WriteFile(box_.root() / "fake.CAB", "not a cabinet at all");
  EXPECT_EQ(ExtractCabinet((box_.root() / "fake.CAB").string(), Target()), -1);
  EXPECT_EQ(ExtractCabinet((box_.root() / "missing.cab").string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T"));
}

TEST_F(Win32Cabinet, NamesEscapingTheTargetAreSkippedAndTheRestExtracted) {
  WriteFile(box_.root() / "evil.cab", test::MakeStoredCabinet({{"first.txt", "1"},
                                                               {"..\\evil.txt", "evil"},
                                                               {"sub\\..\\..\\evil2.txt", "evil"},
                                                               {"C:\\evil3.txt", "evil"},
                                                               {"\\evil4.txt", "evil"},
                                                               {"last\\ok.txt", "2"}}));
  EXPECT_EQ(ExtractCabinet((box_.root() / "evil.cab").string(), Target()), -1);
  EXPECT_EQ(ReadFile(box_.root() / "T/first.txt"), "1");
  EXPECT_EQ(ReadFile(box_.root() / "T/last/ok.txt"), "2");
  EXPECT_FALSE(fs::exists(box_.root() / "evil.txt"));
  EXPECT_FALSE(fs::exists(box_.root() / "evil2.txt"));
  EXPECT_FALSE(fs::exists("C:/evil3.txt"));
}

TEST_F(Win32Cabinet, AFileThatCannotBeCreatedStopsTheExtractionAndKeepsEarlierFiles) {
  WriteFile(box_.root() / "c.cab", test::MakeStoredCabinet({{"a.txt", "1"}, {"blocked\\b.txt", "2"}, {"c.txt", "3"}}));
  WriteFile(box_.root() / "T/blocked", "a file where a folder must go");
  EXPECT_EQ(ExtractCabinet((box_.root() / "c.cab").string(), Target()), -1);
  EXPECT_EQ(ReadFile(box_.root() / "T/a.txt"), "1");
  EXPECT_FALSE(fs::exists(box_.root() / "T/c.txt"));
}

}  // namespace
}  // namespace zephron
