#include "archive/szdd_compress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "platform/lz_expand.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::RunProgram;
using test::WriteFile;

class SzddCompressTest : public ::testing::Test {
 protected:
  // Compresses data, then expands it with libmspack (our LZCopy) and with msexpand.
  void ExpectRoundTrip(const std::string& data) {
    const std::string compressed = SzddCompress(data, 'n');
    ASSERT_GE(compressed.size(), 14u);
    EXPECT_EQ(compressed.substr(0, 9), std::string("SZDD\x88\xF0\x27\x33" "A", 9));
    EXPECT_EQ(compressed[9], 'n');
    const std::uint32_t size = static_cast<unsigned char>(compressed[10]) |
                               (static_cast<unsigned char>(compressed[11]) << 8) |
                               (static_cast<unsigned char>(compressed[12]) << 16) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(compressed[13])) << 24);
    EXPECT_EQ(size, data.size());

    const fs::path folder = box_.root() / ("case" + std::to_string(++cases_));
    WriteFile(folder / "data.bi_", compressed);
    platform::LzFile file((folder / "data.bi_").string());
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(platform::LZCopy(file, (folder / "ours.bin").string()), platform::LzStatus::kOk);
    EXPECT_TRUE(ReadFile(folder / "ours.bin") == data) << "libmspack expansion differs, size " << data.size();

    // msexpand names its output after the input without the "_".
    const auto run = RunProgram({"msexpand", (folder / "data.bi_").string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(ReadFile(folder / "data.bi") == data) << "msexpand expansion differs, size " << data.size();
  }

  test::Sandbox box_;
  int cases_ = 0;
};

TEST_F(SzddCompressTest, EmptyAndTinyInputsRoundTrip) {
  ExpectRoundTrip("");
  ExpectRoundTrip("x");
  ExpectRoundTrip("ab");
  ExpectRoundTrip("abc");
  ExpectRoundTrip("aaaa");
  ExpectRoundTrip("        leading spaces match the window's initial fill");
}

TEST_F(SzddCompressTest, HighlyRepetitiveInputRoundTripsAndShrinks) {
  const std::string run(1'000'000, 'a');
  ExpectRoundTrip(run);
  // Eighteen bytes per two-byte reference plus a flag bit per item.
  EXPECT_LT(SzddCompress(run, 'a').size(), run.size() / 8);

  std::string pattern;
  while (pattern.size() < 300'000) pattern += "0123456789abcdef-update-";
  ExpectRoundTrip(pattern);
  std::string periodic;  // period of exactly the window size and just beyond it
  for (int i = 0; i < 20'000; ++i) periodic += static_cast<char>((i % 4096) * 31 % 251);
  ExpectRoundTrip(periodic);
  periodic.clear();
  for (int i = 0; i < 20'000; ++i) periodic += static_cast<char>((i % 4079) * 37 % 253);
  ExpectRoundTrip(periodic);
}

TEST_F(SzddCompressTest, RandomInputRoundTrips) {
  std::mt19937 random(42);
  for (const std::size_t size : {std::size_t{4095}, std::size_t{4096}, std::size_t{4097}, std::size_t{262'147}}) {
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(random() & 0xFF);
    ExpectRoundTrip(data);
  }
  std::string mixed;  // random text from a small alphabet: many short matches at all distances
  for (int i = 0; i < 500'000; ++i) mixed += static_cast<char>('a' + random() % 5);
  ExpectRoundTrip(mixed);
}

// Literals and references in the compressed stream after the header.
std::size_t ItemCount(const std::string& compressed) {
  std::size_t items = 0;
  for (std::size_t at = 14; at < compressed.size();) {
    const auto flags = static_cast<unsigned char>(compressed[at++]);
    for (int bit = 0; bit < 8 && at < compressed.size(); ++bit, ++items) at += (flags >> bit) & 1 ? 1 : 2;
  }
  return items;
}

TEST_F(SzddCompressTest, LongestMatchDeepInTheChainIsFound) {
  // Eighteen bytes, then a hundred strings that agree with them in all but
  // the last byte, then the eighteen again: they are one reference to the
  // oldest, not a reference to a newer string and a literal.
  std::mt19937 random(7);
  std::string target(18, '\0');
  for (auto& c : target) c = static_cast<char>(random() & 0xFF);
  std::string data = target;
  for (int i = 0; i < 100; ++i) {
    data += target.substr(0, 17);
    data += static_cast<char>(target[17] ^ (1 + i));
  }
  const std::size_t without = ItemCount(SzddCompress(data, 'n'));
  data += target;
  ExpectRoundTrip(data);
  EXPECT_EQ(ItemCount(SzddCompress(data, 'n')), without + 1);
}

// The items of a greedy parse that takes at every position the longest
// earlier string of 3 to 18 bytes at most 4078 bytes back, else a literal.
std::size_t GreedyItemCount(const std::string& data) {
  std::size_t items = 0;
  for (std::size_t p = 0; p < data.size(); ++items) {
    const std::size_t limit = std::min<std::size_t>(18, data.size() - p);
    std::size_t best = 0;
    for (std::size_t q = p > 4078 ? p - 4078 : 0; q < p && best < limit; ++q) {
      std::size_t n = 0;
      while (n < limit && data[q + n] == data[p + n]) ++n;
      best = std::max(best, n);
    }
    p += best >= 3 ? best : 1;
  }
  return items;
}

TEST_F(SzddCompressTest, EveryMatchIsTheLongestWithinReach) {
  // Words from a small vocabulary, and letters from a small alphabet: most
  // longest matches lie behind shorter, newer ones. Random bytes with
  // copies: long stretches of literals between matches.
  static const char* words[] = {"the ", "of ", "update ", "updated ", "file ", "files ", "profile ",
                                "version ", "versions ", "the file ", ".\r\n"};
  std::mt19937 random(11);
  std::string text;
  while (text.size() < 60'000) text += words[std::min(random() % 11, random() % 11)];
  std::string letters;
  for (int i = 0; i < 60'000; ++i) letters += static_cast<char>('a' + random() % 4);
  std::string pieces;  // random bytes between copies of earlier ones, near and far
  while (pieces.size() < 30'000) {
    if (pieces.size() < 64 || random() % 2 == 0) {
      for (unsigned n = random() % 40; n > 0; --n) pieces += static_cast<char>(random() & 0xFF);
    } else {
      const std::size_t back = 1 + random() % std::min<std::size_t>(pieces.size() - 1, 5000);
      pieces += pieces.substr(pieces.size() - back, 3 + random() % 20);
    }
  }
  for (const std::string* data : {&text, &letters, &pieces}) {
    const std::string compressed = SzddCompress(*data, 'n');
    EXPECT_EQ(ItemCount(compressed), GreedyItemCount(*data));
    ExpectRoundTrip(*data);
  }
}

TEST_F(SzddCompressTest, RunsOfOneByteLeaveEveryMatchTheLongest) {
  // Runs of lengths around a match's and the window's size, of a few values,
  // between words; each run ends in a few random bytes that come again, two
  // bytes of the run before them, after the next run. Only the end of that
  // run holds them: positions in a run must be found again as if each had
  // been searched.
  static const char* words[] = {"a", "ab ", "ba", " the ", "aab", "bb ", "  update", "file  "};
  const std::size_t lengths[] = {1, 2, 3, 17, 18, 19, 20, 21, 36, 37, 38, 39, 55, 4095, 4096, 4097, 9000};
  std::mt19937 random(13);
  std::string data;
  std::string echo;
  while (data.size() < 150'000) {
    const char value = "ab "[random() % 3];
    data.append(lengths[random() % 17], value);
    std::string end(2, value);
    for (int i = 0; i < 6; ++i) end += static_cast<char>(random() & 0xFF);
    data += end.substr(2);
    data += echo;
    echo = end;
    for (unsigned n = random() % 4; n > 0; --n) data += words[random() % 8];
  }
  EXPECT_EQ(ItemCount(SzddCompress(data, 'n')), GreedyItemCount(data));
  ExpectRoundTrip(data);
  // Runs that go on across the reads of the input in large pieces.
  while (data.size() < 2'300'000) data.append(lengths[random() % 17] * 7, "ab"[random() % 2]) += words[random() % 8];
  ExpectRoundTrip(data);
}

TEST_F(SzddCompressTest, ToolNamesOutputAndRecordsTheMissingCharacter) {
  const std::string data(5000, 'z');
  WriteFile(box_.root() / "setup.exe", data);
  const auto tool = test::BuildDir() / "tools/zephron-compress/zephron-compress";
  auto run = RunProgram({tool.string(), (box_.root() / "setup.exe").string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  platform::LzFile file((box_.root() / "setup.ex_").string());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.missingChar(), 'e');
  EXPECT_EQ(platform::GetExpandedName(file), (box_.root() / "setup.exe").string());

  run = RunProgram({tool.string(), (box_.root() / "setup.exe").string(), (box_.root() / "other.lz").string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFile(box_.root() / "other.lz"), ReadFile(box_.root() / "setup.ex_"));

  run = RunProgram({tool.string(), (box_.root() / "missing.bin").string()});
  EXPECT_NE(run.exitCode, 0);
  EXPECT_FALSE(fs::exists(box_.root() / "missing.bi_"));
}

}  // namespace
}  // namespace zephron
