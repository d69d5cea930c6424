#include "platform/lz_expand.h"

#include <gtest/gtest.h>
#include <mspack.h>

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

// The SZDD header followed by `stream`, stating `size` expanded bytes.
std::string SzddFile(const std::string& stream, std::uint32_t size) {
  std::string bytes("SZDD\x88\xF0\x27\x33" "A", 9);
  bytes += 'x';
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((size >> (8 * i)) & 0xFF);
  return bytes + stream;
}

// What libmspack's SZDD decoder makes of the file (it decodes to the end of
// the data whatever the header states).
std::string LibmspackExpand(const fs::path& file, const fs::path& output) {
  msszdd_decompressor* szdd = mspack_create_szdd_decompressor(nullptr);
  msszddd_header* header = szdd->open(szdd, file.c_str());
  EXPECT_NE(header, nullptr);
  if (header == nullptr) {
    mspack_destroy_szdd_decompressor(szdd);
    return {};
  }
  EXPECT_EQ(szdd->extract(szdd, header, output.c_str()), MSPACK_ERR_OK);
  szdd->close(szdd, header);
  mspack_destroy_szdd_decompressor(szdd);
  return ReadFile(output);
}

TEST_F(LzExpandTest, ExpansionMatchesLibmspackOnArbitraryStreams) {
  // Random streams hold every kind of item: references into the blank-filled
  // window before any output, overlapping runs, the full window distance,
  // groups cut off by the end of the data.
  std::mt19937 random(7);
  std::vector<std::string> streams;
  for (const std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{17}, std::size_t{18},
                                 std::size_t{1000}, std::size_t{70'000}, std::size_t{400'000}}) {
    std::string stream(size, '\0');
    for (auto& c : stream) c = static_cast<char>(random() & 0xFF);
    streams.push_back(stream);
    // Mostly references (flag bytes with few bits set), so the output runs
    // far ahead of the input and the output buffer wraps many times.
    for (std::size_t i = 0; i < stream.size(); i += 17) stream[i] = static_cast<char>(random() & random() & 0x11);
    streams.push_back(stream);
  }
  streams.push_back(std::string("\x00\x00\x0F\xF0\x0F\x00\x00\xF0\x0F\x10\x0F\xEF\xFF\xFF\x0F", 15));
  for (std::size_t i = 0; i < streams.size(); ++i) {
    SCOPED_TRACE(i);
    const fs::path probe = box_.root() / "probe.bi_";
    WriteFile(probe, SzddFile(streams[i], 0));
    const std::string expected = LibmspackExpand(probe, box_.root() / "reference.bin");
    WriteFile(probe, SzddFile(streams[i], static_cast<std::uint32_t>(expected.size())));
    platform::LzFile file(probe.string());
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(platform::LZCopy(file, (box_.root() / "ours.bin").string()), platform::LzStatus::kOk);
    EXPECT_TRUE(ReadFile(box_.root() / "ours.bin") == expected) << "expanded size " << expected.size();
    // One byte fewer than the data holds is a corrupt file, and nothing of
    // it is kept.
    if (expected.empty()) continue;
    WriteFile(probe, SzddFile(streams[i], static_cast<std::uint32_t>(expected.size() - 1)));
    platform::LzFile shorter(probe.string());
    EXPECT_EQ(platform::LZCopy(shorter, (box_.root() / "short.bin").string()), platform::LzStatus::kCorrupt);
    EXPECT_FALSE(fs::exists(box_.root() / "short.bin"));
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
