#include "archive/cabinet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "tests/archive/cab_writer.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {
namespace fs = std::filesystem;
using test::CabEntry;
using test::CabFile;
using test::CabPart;
using test::ReadFile;
using test::RunProgram;
using test::WriteFile;

// Text-like data that compresses, but not to nothing.
std::string SemiCompressible(std::size_t size, unsigned seed) {
  static const char* words[] = {"update ", "cabinet ", "folder ", "zephron ", "file ", "version ", "\r\n", "0x3F ",
                                "setup ", "patch "};
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < size) {
    if (random() % 4 == 0) {
      out += static_cast<char>(random() & 0xFF);
    } else {
      out += words[random() % 10];
    }
  }
  out.resize(size);
  return out;
}

// Every file below root, as paths relative to it.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) names.insert(fs::relative(e.path(), root).string());
  return names;
}

std::time_t ModifiedSeconds(const fs::path& file) {
  struct stat st {};
  EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
  return st.st_mtim.tv_sec;
}

class CabinetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = box_.root() / "in";
    fs::create_directories(in_ / "sub");
    WriteFile(in_ / "a.txt", "alpha\n");
    WriteFile(in_ / "sub/b.txt", "bravo\n");
  }

  // A cabinet made by gcab from files below in_, named as given (relative to in_).
  fs::path Gcab(const std::string& cabName, const std::vector<std::string>& files, bool mszip) {
    const fs::path cab = box_.root() / cabName;
    std::vector<std::string> argv{"gcab", "-c"};
    if (mszip) argv.push_back("-z");
    argv.push_back(cab.string());
    for (const auto& f : files) argv.push_back(f);
    const fs::path previous = fs::current_path();
    fs::current_path(in_);
    const auto run = RunProgram(argv);
    fs::current_path(previous);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(cab)) << run.output;
    return cab;
  }

  std::string Target() const { return (box_.root() / "T").string() + "/"; }

  test::Sandbox box_;
  fs::path in_;
};

TEST_F(CabinetTest, StoredCabinetRecreatesSubfoldersUnderTarget) {
  const auto cab = Gcab("plain.cab", {"a.txt", "sub/b.txt"}, false);
  ASSERT_EQ(ExtractCabinet(cab.string(), Target()), 0);
  EXPECT_EQ(ReadFile(box_.root() / "T/a.txt"), "alpha\n");
  EXPECT_TRUE(fs::is_directory(box_.root() / "T/sub"));
  EXPECT_EQ(ReadFile(box_.root() / "T/sub/b.txt"), "bravo\n");
  EXPECT_EQ(Tree(box_.root() / "T"), (std::set<std::string>{"a.txt", "sub", "sub/b.txt"}));
}

TEST_F(CabinetTest, MszipCabinetWithLargeFilesExtractsByteForByte) {
  const std::string big = SemiCompressible(700'000, 1);
  const std::string other = SemiCompressible(100'001, 2);
  WriteFile(in_ / "big.bin", big);
  WriteFile(in_ / "sub/deeper/other.bin", other);
  const auto cab = Gcab("zip.cab", {"a.txt", "big.bin", "sub/deeper/other.bin"}, true);
  ASSERT_EQ(ExtractCabinet(cab.string(), Target()), 0);
  EXPECT_TRUE(ReadFile(box_.root() / "T/big.bin") == big);
  EXPECT_TRUE(ReadFile(box_.root() / "T/sub/deeper/other.bin") == other);
  EXPECT_EQ(ReadFile(box_.root() / "T/a.txt"), "alpha\n");
}

TEST_F(CabinetTest, StoredTimeIsReadAsLocalTime) {
  // Three hours east of UTC, so a reading as UTC would be visibly off.
  box_.SetEnv("TZ", "ZZZ-3");
  ::tzset();
  WriteFile(box_.root() / "t.cab", test::MakeStoredCabinet({{"when.txt", "x"}}));
  ASSERT_EQ(ExtractCabinet((box_.root() / "t.cab").string(), Target()), 0);
  std::tm utc{};
  utc.tm_year = 2021 - 1900;
  utc.tm_mon = 2;
  utc.tm_mday = 4;
  utc.tm_hour = 5;
  utc.tm_min = 6;
  utc.tm_sec = 8;
  const std::time_t expected = ::timegm(&utc) - 3 * 3600;
  EXPECT_EQ(ModifiedSeconds(box_.root() / "T/when.txt"), expected);

  // Last access is not set from the cabinet.
  struct stat st {};
  ASSERT_EQ(::stat((box_.root() / "T/when.txt").c_str(), &st), 0);
  EXPECT_GT(st.st_atim.tv_sec, std::time(nullptr) - 3600);
  box_.SetEnv("TZ", std::nullopt);
  ::tzset();
}

// gcab records times in UTC where the platform's tools record local time, so
// the round trip is exact only where the two agree.
TEST_F(CabinetTest, GcabStoredModificationTimeSurvivesExtraction) {
  box_.SetEnv("TZ", "UTC0");
  ::tzset();
  std::tm utc{};
  utc.tm_year = 2019 - 1900;
  utc.tm_mon = 10;
  utc.tm_mday = 21;
  utc.tm_hour = 22;
  utc.tm_min = 33;
  utc.tm_sec = 44;
  const std::time_t when = ::timegm(&utc);
  fs::last_write_time(in_ / "a.txt",
                      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
  const auto cab = Gcab("dated.cab", {"a.txt"}, true);
  ASSERT_EQ(ExtractCabinet(cab.string(), Target()), 0);
  EXPECT_EQ(ModifiedSeconds(box_.root() / "T/a.txt"), when);
  box_.SetEnv("TZ", std::nullopt);
  ::tzset();
}

TEST_F(CabinetTest, ReadOnlyEntryBecomesNormalWritableFile) {
  WriteFile(in_ / "ro.txt", "locked\n");
  const auto cab = Gcab("ro.cab", {"a.txt", "ro.txt"}, false);
  // gcab does not record the read-only attribute; set it in the entry.
  std::string bytes = ReadFile(cab);
  const auto name = bytes.find(std::string("ro.txt\0", 7));
  ASSERT_NE(name, std::string::npos);
  bytes[name - 2] = '\x21';
  WriteFile(cab, bytes);
  const auto listing = RunProgram({"cabextract", "-l", cab.string()});
  ASSERT_EQ(listing.exitCode, 0) << listing.output;

  ASSERT_EQ(ExtractCabinet(cab.string(), Target()), 0);
  const auto perms = fs::status(box_.root() / "T/ro.txt").permissions();
  EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
  WriteFile(box_.root() / "T/ro.txt", "changed");  // throws if not writable
}

TEST_F(CabinetTest, TextFileNamedCabYieldsMinusOneAndCreatesNothing) {
  WriteFile(box_.root() / "x.CAB", "this is not a cabinet\r\n");
  EXPECT_EQ(ExtractCabinet((box_.root() / "x.CAB").string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T"));
  EXPECT_EQ(ExtractCabinet((box_.root() / "missing.cab").string(), Target()), -1);
  WriteFile(box_.root() / "empty.cab", "");
  EXPECT_EQ(ExtractCabinet((box_.root() / "empty.cab").string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T"));
}

TEST_F(CabinetTest, EmptyTargetExtractsIntoCurrentFolder) {
  const auto cab = Gcab("plain.cab", {"a.txt", "sub/b.txt"}, true);
  fs::create_directories(box_.root() / "cwd");
  fs::current_path(box_.root() / "cwd");
  ASSERT_EQ(ExtractCabinet(cab.string(), ""), 0);
  EXPECT_EQ(ReadFile(box_.root() / "cwd/a.txt"), "alpha\n");
  EXPECT_EQ(ReadFile(box_.root() / "cwd/sub/b.txt"), "bravo\n");
}

TEST_F(CabinetTest, TargetWithoutTrailingSeparatorIsJoinedAsPrefix) {
  const auto cab = Gcab("plain.cab", {"a.txt", "sub/b.txt"}, false);
  ASSERT_EQ(ExtractCabinet(cab.string(), (box_.root() / "T").string()), 0);
  EXPECT_EQ(ReadFile(box_.root() / "Ta.txt"), "alpha\n");
  EXPECT_EQ(ReadFile(box_.root() / "Tsub/b.txt"), "bravo\n");
}

TEST_F(CabinetTest, NamesEscapingTheTargetAreSkippedAndTheRestExtracted) {
  const fs::path outside = box_.root() / "outside";
  fs::create_directories(outside);
  const std::string absolute = (outside / "abs.txt").string();
  WriteFile(box_.root() / "evil.cab",
            test::MakeStoredCabinet({{"first.txt", "1"},
                                     {"..\\evil.txt", "evil"},
                                     {"sub\\..\\..\\evil2.txt", "evil"},
                                     {absolute, "evil"},
                                     {"C:\\evil3.txt", "evil"},
                                     {"..", "evil"},
                                     {"last\\ok.txt", "2"}}));
  const auto before = Tree(box_.root());
  EXPECT_EQ(ExtractCabinet((box_.root() / "evil.cab").string(), Target()), -1);
  EXPECT_EQ(ReadFile(box_.root() / "T/first.txt"), "1");
  EXPECT_EQ(ReadFile(box_.root() / "T/last/ok.txt"), "2");
  EXPECT_FALSE(fs::exists(absolute));
  auto after = Tree(box_.root());
  for (const auto& name : before) after.erase(name);
  EXPECT_EQ(after, (std::set<std::string>{"T", "T/first.txt", "T/last", "T/last/ok.txt"}));
}

TEST_F(CabinetTest, TargetSpellingCannotCombineWithNameIntoParentReference) {
  // "T/." joined to ".\x" spells "T/../x".
  WriteFile(box_.root() / "dot.cab", test::MakeStoredCabinet({{".\\x.txt", "evil"}, {"y.txt", "fine"}}));
  fs::create_directories(box_.root() / "T");
  EXPECT_EQ(ExtractCabinet((box_.root() / "dot.cab").string(), (box_.root() / "T/.").string()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "x.txt"));
  EXPECT_EQ(ReadFile(box_.root() / "T/.y.txt"), "fine");
}

TEST_F(CabinetTest, TruncatedCabinetsFailWithoutWritingOutsideTarget) {
  WriteFile(in_ / "big.bin", SemiCompressible(300'000, 3));
  for (const bool mszip : {false, true}) {
    const auto cab = Gcab(mszip ? "z.cab" : "s.cab", {"a.txt", "big.bin", "sub/b.txt"}, mszip);
    const std::string bytes = ReadFile(cab);
    for (const std::size_t keep : {std::size_t{0}, std::size_t{10}, std::size_t{40}, std::size_t{120},
                                   bytes.size() / 2, bytes.size() - 1}) {
      SCOPED_TRACE(std::to_string(keep) + (mszip ? " mszip" : " stored"));
      const fs::path cut = box_.root() / "cut.cab";
      WriteFile(cut, bytes.substr(0, keep));
      const auto before = Tree(box_.root());
      EXPECT_EQ(ExtractCabinet(cut.string(), Target()), -1);
      for (const auto& name : Tree(box_.root())) {
        if (!before.contains(name)) {
          EXPECT_EQ(name.rfind("T", 0), 0u) << name;
        }
      }
      // The file the data ran out in is not left behind truncated.
      if (fs::exists(box_.root() / "T/big.bin")) {
        EXPECT_EQ(fs::file_size(box_.root() / "T/big.bin"), 300'000u);
      }
      fs::remove_all(box_.root() / "T");
    }
  }
}

TEST_F(CabinetTest, CorruptCabinetsFailOrStayInsideTarget) {
  WriteFile(in_ / "big.bin", SemiCompressible(200'000, 4));
  const auto cab = Gcab("z.cab", {"a.txt", "big.bin", "sub/b.txt"}, true);
  const std::string bytes = ReadFile(cab);
  const fs::path bad = box_.root() / "bad.cab";

  // Damaged compressed data: the block checksum or the decoder notices.
  std::string damaged = bytes;
  for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) damaged[i] = static_cast<char>(~damaged[i]);
  WriteFile(bad, damaged);
  EXPECT_EQ(ExtractCabinet(bad.string(), Target()), -1);
  fs::remove_all(box_.root() / "T");

  // A file table beyond the end of the cabinet.
  damaged = bytes;
  damaged[16] = '\xF0';
  damaged[17] = '\xFF';
  WriteFile(bad, damaged);
  EXPECT_EQ(ExtractCabinet(bad.string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T"));

  // Random single-byte damage anywhere: never a crash, never a file outside the target.
  std::mt19937 random(7);
  const auto before = Tree(box_.root());
  for (int round = 0; round < 150; ++round) {
    damaged = bytes;
    const auto at = random() % (round < 100 ? std::min<std::size_t>(bytes.size(), 200) : bytes.size());
    damaged[at] = static_cast<char>(random() & 0xFF);
    WriteFile(bad, damaged);
    ExtractCabinet(bad.string(), Target());
    for (const auto& name : Tree(box_.root())) {
      if (!before.contains(name)) {
        ASSERT_EQ(name.rfind("T", 0), 0u) << name << " after damage at " << at;
      }
    }
    fs::remove_all(box_.root() / "T");
  }
}

TEST_F(CabinetTest, FileThatCannotBeCreatedStopsExtractionAndKeepsEarlierFiles) {
  const auto cab = Gcab("plain.cab", {"a.txt", "sub/b.txt"}, false);
  WriteFile(box_.root() / "T/sub", "a file where the folder should be");
  EXPECT_EQ(ExtractCabinet(cab.string(), Target()), -1);
  EXPECT_EQ(ReadFile(box_.root() / "T/a.txt"), "alpha\n");
  EXPECT_EQ(ReadFile(box_.root() / "T/sub"), "a file where the folder should be");
}

// Two parts of one stored folder: a.bin whole in part one (and in its first,
// complete data block), b.bin starting in part one and ending in part two,
// c.bin only in part two.
class CabinetSetTest : public CabinetTest {
 protected:
  void SetUp() override {
    CabinetTest::SetUp();
    a_ = SemiCompressible(30'000, 5);
    b_ = SemiCompressible(50'000, 6);
    c_ = SemiCompressible(1'000, 7);
    const std::string folder = a_ + b_ + c_;
    CabPart one;
    one.entries = {CabEntry{"a.bin", 30'000, 0, 0}, CabEntry{"dir\\b.bin", 50'000, 30'000, 0xFFFE}};
    // The folder's second block is split between the parts, as the format expects of a spanning folder.
    one.blocks = {{folder.substr(0, 32768), 32768}, {folder.substr(32768, 20000), 0}};
    one.nextName = "SET2.CAB";  // the part's own name differs in case, as it may on the platform
    CabPart two;
    two.entries = {CabEntry{"dir\\b.bin", 50'000, 30'000, 0xFFFD}, CabEntry{"c.bin", 1'000, 80'000, 0}};
    two.blocks = {{folder.substr(52768, 12768), 32768},
                  {folder.substr(65536), static_cast<std::uint16_t>(folder.size() - 65536)}};
    two.prevName = "set1.cab";
    two.index = 1;
    WriteFile(box_.root() / "set1.cab", test::WriteCabinet(one));
    WriteFile(box_.root() / "set2.cab", test::WriteCabinet(two));
  }
  std::string a_, b_, c_;
};

TEST_F(CabinetSetTest, FixtureIsAValidCabinetSet) {
  fs::create_directories(box_.root() / "peer");
  fs::copy_file(box_.root() / "set2.cab", box_.root() / "SET2.CAB");
  const auto run = RunProgram({"cabextract", "-q", "-d", (box_.root() / "peer").string(),
                               (box_.root() / "set1.cab").string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(ReadFile(box_.root() / "peer/dir/b.bin") == b_);
}

TEST_F(CabinetSetTest, FileSpanningIntoNextCabinetIsCompletedFromIt) {
  ASSERT_EQ(ExtractCabinet((box_.root() / "set1.cab").string(), Target()), 0);
  EXPECT_TRUE(ReadFile(box_.root() / "T/a.bin") == a_);
  EXPECT_TRUE(ReadFile(box_.root() / "T/dir/b.bin") == b_);
  // c.bin starts in the second part: it belongs to that part's extraction.
  EXPECT_FALSE(fs::exists(box_.root() / "T/c.bin"));
}

TEST_F(CabinetSetTest, LaterPartAloneSkipsFileContinuedFromEarlierPart) {
  // c.bin lies in the folder that began in set1.cab, so it cannot be decoded
  // from set2.cab alone either; the continued b.bin is not even attempted.
  EXPECT_EQ(ExtractCabinet((box_.root() / "set2.cab").string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T/dir/b.bin"));
  EXPECT_FALSE(fs::exists(box_.root() / "T/c.bin"));
}

TEST_F(CabinetSetTest, MissingNextCabinetFailsAndKeepsFilesBeforeIt) {
  fs::remove(box_.root() / "set2.cab");
  EXPECT_EQ(ExtractCabinet((box_.root() / "set1.cab").string(), Target()), -1);
  EXPECT_TRUE(ReadFile(box_.root() / "T/a.bin") == a_);
  EXPECT_FALSE(fs::exists(box_.root() / "T/dir/b.bin"));
}

TEST_F(CabinetSetTest, MismatchedNextCabinetFails) {
  WriteFile(box_.root() / "set2.cab", test::MakeStoredCabinet({{"other.txt", "x"}}));
  EXPECT_EQ(ExtractCabinet((box_.root() / "set1.cab").string(), Target()), -1);
  EXPECT_FALSE(fs::exists(box_.root() / "T/dir/b.bin"));
}

TEST_F(CabinetTest, ConcurrentExtractionsBothComplete) {
  WriteFile(in_ / "big.bin", SemiCompressible(500'000, 8));
  const auto cab = Gcab("z.cab", {"a.txt", "big.bin"}, true);
  int first = 1, second = 1;
  std::thread one([&] { first = ExtractCabinet(cab.string(), (box_.root() / "one").string() + "/"); });
  std::thread two([&] { second = ExtractCabinet(cab.string(), (box_.root() / "two").string() + "/"); });
  one.join();
  two.join();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_TRUE(ReadFile(box_.root() / "one/big.bin") == ReadFile(in_ / "big.bin"));
  EXPECT_TRUE(ReadFile(box_.root() / "two/big.bin") == ReadFile(in_ / "big.bin"));
}

TEST_F(CabinetTest, StoredNamesBecomeUtf8FileNames) {
  WriteFile(box_.root() / "names.cab",
            test::MakeStoredCabinet({{"caf\xE9.txt", "code page"}, {"na\xC3\xAFve.txt", "utf-8", 0xA0}}));
  ASSERT_EQ(ExtractCabinet((box_.root() / "names.cab").string(), Target()), 0);
  EXPECT_EQ(Tree(box_.root() / "T"), (std::set<std::string>{"caf\xC3\xA9.txt", "na\xC3\xAFve.txt"}));
}

}  // namespace
}  // namespace zephron
