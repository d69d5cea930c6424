#include "platform/lz_expand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "archive/expand_compressed_file.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {
namespace fs = std::filesystem;
using platform::ExpandedName;
using test::ReadFile;
using test::RunProgram;
using test::WriteFile;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

TEST(LzExpandedName, StoredCharacterReplacesUnderscoreInTheNamesCase) {
  EXPECT_EQ(ExpandedName("setup.ex_", 'e'), "setup.exe");
  EXPECT_EQ(ExpandedName("setup.ex_", 'E'), "setup.exe");
  EXPECT_EQ(ExpandedName("SETUP.EX_", 'e'), "SETUP.EXE");
  EXPECT_EQ(ExpandedName("Read.Tx_", 'T'), "Read.Txt");
  EXPECT_EQ(ExpandedName("/tmp/dir.x/DATA.DL_", 'l'), "/tmp/dir.x/DATA.DLL");
  EXPECT_EQ(ExpandedName("file.1_", '2'), "file.12");
  EXPECT_EQ(ExpandedName("1234_", 'a'), "1234a");  // no letter to take the case from
}

TEST(LzExpandedName, UnderscoreIsDroppedWhenNoUsableCharacterIsStored) {
  EXPECT_EQ(ExpandedName("dir/setup.exe_", '\0'), "dir/setup.exe");
  EXPECT_EQ(ExpandedName("a.tx_", '/'), "a.tx");
  EXPECT_EQ(ExpandedName("a.tx_", '\\'), "a.tx");
  EXPECT_EQ(ExpandedName("a.tx_", '\n'), "a.tx");
}

TEST(LzExpandedName, NameWithoutUnderscoreStaysAndUnusableResultsAreRefused) {
  EXPECT_EQ(ExpandedName("dir/readme", 'x'), "dir/readme");
  EXPECT_EQ(ExpandedName("dir/_", '\0'), std::nullopt);
  EXPECT_EQ(ExpandedName("dir/._", '.'), std::nullopt);
  EXPECT_EQ(ExpandedName("dir/_", '.'), std::nullopt);
}

class LzExpandTest : public ::testing::Test {
 protected:
  // mscompress writes NAME_ next to NAME and records no character.
  fs::path Mscompress(const std::string& name, const std::string& data) {
    WriteFile(box_.root() / name, data);
    const auto run = RunProgram({"mscompress", (box_.root() / name).string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    fs::remove(box_.root() / name);
    return box_.root() / (name + "_");
  }

  test::Sandbox box_;
};

TEST_F(LzExpandTest, MscompressFileExpandsAndCompressedFileIsDeleted) {
  std::string data;
  std::mt19937 random(1);
  for (int i = 0; i < 200'000; ++i) data += static_cast<char>(random() % 4 == 0 ? random() & 0xFF : 'a' + i % 7);
  const auto compressed = Mscompress("setup.exe", data);
  const auto result = ExpandCompressedFile(compressed.string());
  ASSERT_EQ(result.status, ExpandStatus::kExpanded);
  EXPECT_EQ(result.expandedPath, (box_.root() / "setup.exe").string());
  EXPECT_TRUE(ReadFile(box_.root() / "setup.exe") == data);
  EXPECT_FALSE(fs::exists(compressed));
}

TEST_F(LzExpandTest, StoredCharacterNamesTheExpandedFile) {
  const auto compressed = Mscompress("tool.bin", "payload payload payload");
  std::string bytes = ReadFile(compressed);
  bytes[9] = 'e';
  fs::remove(compressed);
  WriteFile(box_.root() / "TOOL.EX_", bytes);

  platform::LzFile file((box_.root() / "TOOL.EX_").string());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.missingChar(), 'e');
  EXPECT_EQ(file.expandedSize(), 23u);
  EXPECT_EQ(platform::GetExpandedName(file), (box_.root() / "TOOL.EXE").string());
  ASSERT_EQ(platform::LZCopy(file, (box_.root() / "copy.bin").string()), platform::LzStatus::kOk);
  EXPECT_EQ(ReadFile(box_.root() / "copy.bin"), "payload payload payload");
}

TEST_F(LzExpandTest, ExpansionReplacesAnExistingFileOfTheExpandedName) {
  // (mscompress mangles some inputs of a few bytes; this one it handles.)
  const auto compressed = Mscompress("app.dll", "new contents, new contents, new contents");
  WriteFile(box_.root() / "app.dll", "old contents that are longer");
  ASSERT_EQ(ExpandCompressedFile(compressed.string()).status, ExpandStatus::kExpanded);
  EXPECT_EQ(ReadFile(box_.root() / "app.dll"), "new contents, new contents, new contents");
}

TEST_F(LzExpandTest, FileWhoseExpandedNameIsItsOwnIsExpandedInPlace) {
  const auto compressed = Mscompress("data.bin", "expanded in place");
  fs::rename(compressed, box_.root() / "data.bin");
  const auto result = ExpandCompressedFile((box_.root() / "data.bin").string());
  ASSERT_EQ(result.status, ExpandStatus::kExpanded);
  EXPECT_EQ(ReadFile(box_.root() / "data.bin"), "expanded in place");
  EXPECT_EQ(Names(box_.root()).count("data.bin"), 1u);
}

TEST_F(LzExpandTest, NonSzddFilesAreLeftIntactAndReported) {
  for (const std::string& content : {std::string("plain text, not compressed"), std::string(), std::string("SZD"),
                                    std::string("SZ\x88\xF0\x27\x33\x47\x65 QBasic variant", 22)}) {
    WriteFile(box_.root() / "p.tx_", content);
    const auto before = Names(box_.root());
    const auto result = ExpandCompressedFile((box_.root() / "p.tx_").string());
    EXPECT_EQ(result.status, ExpandStatus::kNotCompressed);
    EXPECT_EQ(ReadFile(box_.root() / "p.tx_"), content);
    EXPECT_EQ(Names(box_.root()), before);
    platform::LzFile file((box_.root() / "p.tx_").string());
    EXPECT_EQ(file.status(), platform::LzStatus::kNotCompressed);
    EXPECT_EQ(platform::GetExpandedName(file), std::nullopt);
  }
  EXPECT_EQ(ExpandCompressedFile((box_.root() / "missing.tx_").string()).status, ExpandStatus::kFailed);
}

TEST_F(LzExpandTest, TruncatedOrCorruptSzddFailsAndKeepsTheCompressedFile) {
  std::string data;
  for (int i = 0; i < 100'000; ++i) data += static_cast<char>('a' + (i * 7919) % 26);
  const std::string bytes = ReadFile(Mscompress("big.txt", data));
  fs::remove(box_.root() / "big.txt_");

  std::vector<std::string> damaged;
  for (const std::size_t keep : {std::size_t{8}, std::size_t{12}, std::size_t{14}, bytes.size() / 2, bytes.size() - 1}) {
    damaged.push_back(bytes.substr(0, keep));
  }
  std::string badMode = bytes;
  badMode[8] = 'B';
  damaged.push_back(badMode);
  std::string longer = bytes;  // a header claiming more than the data holds
  longer[13] = '\x01';
  damaged.push_back(longer);

  for (const auto& content : damaged) {
    SCOPED_TRACE(content.size());
    WriteFile(box_.root() / "big.tx_", content);
    const auto before = Names(box_.root());
    EXPECT_EQ(ExpandCompressedFile((box_.root() / "big.tx_").string()).status, ExpandStatus::kFailed);
    EXPECT_EQ(ReadFile(box_.root() / "big.tx_"), content);
    EXPECT_EQ(Names(box_.root()), before);  // no expanded or scratch file left
  }
}

TEST_F(LzExpandTest, UnwritableTargetIsReportedAndSourceKept) {
  const auto compressed = Mscompress("x.txt", "content");
  platform::LzFile file(compressed.string());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(platform::LZCopy(file, (box_.root() / "no/such/folder/x.txt").string()), platform::LzStatus::kCannotWrite);
  fs::create_directories(box_.root() / "x.txt");  // a folder where the expanded file should go
  EXPECT_EQ(ExpandCompressedFile(compressed.string()).status, ExpandStatus::kFailed);
  EXPECT_TRUE(fs::exists(compressed));
  EXPECT_TRUE(fs::is_empty(box_.root() / "x.txt"));
}

}  // namespace
}  // namespace zephron
