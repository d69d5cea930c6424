// The per-file comparison: checksum, size and version, both VersionCheck
// modes, the rewriting of the version texts, and the simple checksum.
#include "archive/crc32.h"
#include "engine/version.h"
#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {
namespace {

class FileNeedsUpdateTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    const auto path = sandbox.root() / name;
    WriteFile(path, bytes);
    return path.string();
  }
  std::string Versioned(const std::string& name, std::uint32_t ms, std::uint32_t ls) {
    const auto path = sandbox.root() / name;
    WriteVersionedFile(path, ms, ls);
    return path.string();
  }
  bool Needs(std::string version, std::string local, std::int32_t checksum = -1, std::int32_t size = 0) {
    newVersion = std::move(version);
    localFile = std::move(local);
    return engine.FileNeedsUpdate(newVersion, localFile, checksum, size);
  }
  std::string Missing() const { return (sandbox.root() / "missing.exe").string(); }

  Sandbox sandbox;
  CheckEngine engine;
  std::string newVersion;
  std::string localFile;
};

TEST_F(FileNeedsUpdateTest, NothingToCompareIsNew) {
  EXPECT_TRUE(Needs("", File("a.dll", "x")));
  EXPECT_TRUE(engine.reports.empty());
}

TEST_F(FileNeedsUpdateTest, ShorterVersionEqualsItsZeroExtension) {
  const std::string local = Versioned("app.exe", 0x00010002, 0);
  EXPECT_FALSE(Needs("1.2", local));
  EXPECT_EQ(newVersion, "1.2.0.0");
  EXPECT_EQ(localFile, "1.2.0.0");
  const auto* report = engine.Find(msgVersionCheck);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->arg, "Version compare of " + local + ":1.2.0.0 with 1.2:1.2.0.0");
  EXPECT_EQ(report->status, 3);

  EXPECT_TRUE(Needs("1.2", Versioned("old.exe", 0x00010001, 0x00090009)));
  EXPECT_EQ(localFile, "1.1.9.9");
}

TEST_F(FileNeedsUpdateTest, CommaSeparatedAndSingleNumberVersions) {
  EXPECT_TRUE(Needs("2,0,1,5", Versioned("a.exe", 0x00020000, 0x00010004)));
  EXPECT_EQ(newVersion, "2.0.1.5");
  EXPECT_EQ(localFile, "2.0.1.4");
  EXPECT_FALSE(Needs("2,0,1,5", Versioned("b.exe", 0x00020000, 0x00010005)));
  EXPECT_FALSE(Needs("3", Versioned("c.exe", 0x00030000, 0)));
  EXPECT_EQ(newVersion, "3.0.0.0");
  EXPECT_TRUE(Needs("3", Versioned("d.exe", 0x00020009, 0x00090009)));
}

TEST_F(FileNeedsUpdateTest, FileWithoutVersionResourceOnlyUnderAlways) {
  const std::string plain = File("plain.exe", "no resources here");
  EXPECT_FALSE(Needs("1.0", plain));
  EXPECT_EQ(localFile, plain);  // not rewritten without a comparison
  EXPECT_EQ(newVersion, "1.0");
  engine.VersionCheck = vcAlways;
  EXPECT_TRUE(Needs("1.0", plain));
  EXPECT_EQ(localFile, "65535.65535.65535.65535");
}

TEST_F(FileNeedsUpdateTest, UnparseableNewVersionIsNeverNew) {
  const std::string local = Versioned("app.exe", 0x00010000, 0);
  EXPECT_FALSE(Needs("beta", local));
  EXPECT_FALSE(Needs("1.2.3.x", local));
  engine.VersionCheck = vcAlways;
  EXPECT_FALSE(Needs("beta", local));
  EXPECT_EQ(newVersion, "beta");
}

TEST_F(FileNeedsUpdateTest, ComparisonIsOnSignedWords) {
  // 32768.0 has a negative versionms and counts as older than 1.0.
  EXPECT_FALSE(Needs("32768.0", Versioned("app.exe", 0x00010000, 0)));
}

TEST_F(FileNeedsUpdateTest, MissingLocalFileDependsOnTheMode) {
  // vcUpdateOnly: an empty name is new, a named but missing file is compared.
  EXPECT_TRUE(Needs("1.0", ""));
  EXPECT_FALSE(Needs("1.0", Missing()));
  EXPECT_FALSE(Needs("", Missing(), -1, 100));
  EXPECT_TRUE(Needs("", Missing(), 5));  // a missing file sums to -1
  engine.VersionCheck = vcAlways;
  EXPECT_TRUE(Needs("1.0", Missing()));
  EXPECT_TRUE(Needs("", Missing(), -1, 100));
  EXPECT_TRUE(Needs("1.0", ""));
}

TEST_F(FileNeedsUpdateTest, SizeComparison) {
  const std::string local = File("data.bin", std::string(100, 'd'));
  EXPECT_FALSE(Needs("", local, -1, 100));
  EXPECT_TRUE(Needs("", local, -1, 101));
  const std::string empty = File("empty.bin", "");
  EXPECT_FALSE(Needs("", empty, -1, 10));  // an empty local file is not replaced by size
  engine.VersionCheck = vcAlways;
  EXPECT_TRUE(Needs("", empty, -1, 10));
  // Size wins over version.
  EXPECT_FALSE(Needs("9.9", local, -1, 100));
}

TEST_F(FileNeedsUpdateTest, ChecksumZeroIsACheckAndEmptyFileSumsToMinusOne) {
  const std::string empty = File("empty.bin", "");
  EXPECT_TRUE(Needs("", empty, 0));
  EXPECT_EQ(engine.reports.back().arg, "Checksum compare of " + empty + ":-1:0");
  engine.UseCRC32 = true;
  EXPECT_FALSE(Needs("", empty, 0));  // the CRC-32 of nothing is 0
}

TEST_F(FileNeedsUpdateTest, ChecksumWinsOverSizeAndVersionAndIsReportedSigned) {
  const std::string local = File("data.bin", "123456789");
  engine.UseCRC32 = true;
  const std::int32_t crc = static_cast<std::int32_t>(0xCBF43926u);
  EXPECT_FALSE(Needs("9.9", local, crc, 5));
  EXPECT_EQ(engine.reports.back().arg,
            "Checksum compare of " + local + ":" + std::to_string(crc) + ":" + std::to_string(crc));
  EXPECT_LT(crc, 0);
  EXPECT_TRUE(Needs("", local, crc + 1));
  engine.UseCRC32 = false;
  const std::int32_t simple = -1 + 0x31 + 0x32 + 0x33 + 0x34 + 0x35 + 0x36 + 0x37 + 0x38 + 0x39;
  EXPECT_FALSE(Needs("", local, simple));
}

TEST(SimpleChecksumTest, SumOfBytesFromMinusOneAcrossBlocks) {
  Sandbox sandbox;
  const auto path = sandbox.root() / "blocks.bin";
  std::string bytes(4096 * 2 + 17, '\0');
  std::int64_t expected = -1;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(i * 7 % 256);
    expected += static_cast<unsigned char>(bytes[i]);
  }
  WriteFile(path, bytes);
  EXPECT_EQ(SimpleChecksum(path.string()), expected);
  WriteFile(sandbox.root() / "exact.bin", std::string(4096, '\x01'));
  EXPECT_EQ(SimpleChecksum((sandbox.root() / "exact.bin").string()), 4095);
  EXPECT_EQ(SimpleChecksum((sandbox.root() / "missing").string()), -1);
}

TEST(SimpleChecksumTest, LargeFilesWrapAroundInsteadOfFailing) {
  Sandbox sandbox;
  const auto path = sandbox.root() / "large.bin";
  // 9 MB of 0xFF sum past 2^31 - 1.
  const std::size_t size = 9 * 1024 * 1024;
  WriteFile(path, std::string(size, '\xFF'));
  const std::uint32_t expected = 0xFFFFFFFFu + static_cast<std::uint32_t>(size) * 255u;
  EXPECT_EQ(SimpleChecksum(path.string()), static_cast<std::int32_t>(expected));
  EXPECT_LT(SimpleChecksum(path.string()), 0);
}

}  // namespace
}  // namespace zephron::test
