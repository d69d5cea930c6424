// CRC-32 of buffers and files, checked against the bytewise definition and zlib.
#include "archive/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <vector>

#include "tests/support/sandbox.h"

namespace zephron {
namespace {

std::uint32_t Reference(const std::string& bytes) {
  std::uint32_t table[256];
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::span<const std::byte> Bytes(const std::string& s) { return std::as_bytes(std::span(s.data(), s.size())); }

std::uint32_t Zlib(const std::string& s) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

class FileCrc : public ::testing::Test {
 protected:
  std::string Put(const std::string& bytes) {
    const auto path = (sandbox_.root() / ("f" + std::to_string(count_++))).string();
    test::WriteFile(path, bytes);
    return path;
  }
  test::Sandbox sandbox_;
  int count_ = 0;
};

TEST(Crc32Buffer, CheckValueOfTheNineDigits) {
  EXPECT_EQ(Crc32Update(0, Bytes("123456789")), 0xCBF43926u);
}

TEST(Crc32Buffer, EmptyInputLeavesTheValue) {
  EXPECT_EQ(Crc32Update(0, {}), 0u);
  EXPECT_EQ(Crc32Update(0x12345678u, {}), 0x12345678u);
}

TEST(Crc32Buffer, EveryLengthAndAlignmentMatchesTheBytewiseDefinition) {
  // Covers the tails and the vector folding's entry conditions (64 bytes, multiples of 16).
  const std::string data = RandomBytes(600, 7);
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t length = 0; length + offset <= data.size(); length += (length < 200 ? 1 : 37)) {
      const std::string part = data.substr(offset, length);
      ASSERT_EQ(Crc32Update(0, Bytes(part)), Reference(part)) << "offset " << offset << " length " << length;
    }
  }
}

TEST(Crc32Buffer, ContinuingEqualsOneShot) {
  const std::string data = RandomBytes(100003, 11);
  std::uint32_t crc = 0;
  std::size_t pos = 0;
  std::mt19937 rng(3);
  while (pos < data.size()) {
    const std::size_t n = std::min<std::size_t>(rng() % 5000, data.size() - pos);
    crc = Crc32Update(crc, Bytes(data.substr(pos, n)));
    pos += n;
  }
  EXPECT_EQ(crc, Zlib(data));
}

TEST(Crc32Buffer, MatchesZlibOnRandomData) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    const std::string data = RandomBytes(1000 + seed * 7919, seed);
    ASSERT_EQ(Crc32Update(0, Bytes(data)), Zlib(data)) << seed;
  }
  const std::string zeros(1 << 16, '\0'), ones(1 << 16, '\xFF');
  EXPECT_EQ(Crc32Update(0, Bytes(zeros)), Zlib(zeros));
  EXPECT_EQ(Crc32Update(0, Bytes(ones)), Zlib(ones));
}

TEST(Crc32Buffer, PortablePathMatchesZlib) {
  EXPECT_EQ(detail::Crc32UpdatePortable(0, Bytes("123456789")), 0xCBF43926u);
  for (unsigned seed = 0; seed < 10; ++seed) {
    const std::string data = RandomBytes(70000 + seed * 13, seed + 100);
    ASSERT_EQ(detail::Crc32UpdatePortable(0, Bytes(data)), Zlib(data)) << seed;
    ASSERT_EQ(detail::Crc32UpdatePortable(0, Bytes(data)), Crc32Update(0, Bytes(data))) << seed;
  }
}

TEST_F(FileCrc, NineDigitsGiveTheCheckValueAsNegativeNumber) {
  EXPECT_EQ(FileCRC32(Put("123456789")), -873187034);
}

TEST_F(FileCrc, EmptyMissingAndUnreadableFilesGiveZero) {
  EXPECT_EQ(FileCRC32(Put("")), 0);
  EXPECT_EQ(FileCRC32((sandbox_.root() / "missing").string()), 0);
  EXPECT_EQ(FileCRC32(sandbox_.root().string()), 0);  // a folder cannot be read as a file
  EXPECT_EQ(FileCRC32(""), 0);
}

TEST_F(FileCrc, BlockSizedFileEqualsOneShot) {
  const std::string data = RandomBytes(4096, 5);
  EXPECT_EQ(static_cast<std::uint32_t>(FileCRC32(Put(data))), Zlib(data));
}

TEST_F(FileCrc, FileLargerThanAnyBufferEqualsZlib) {
  // 5 MiB + 13 bytes: several internal reads and a ragged end.
  const std::string data = RandomBytes((5u << 20) + 13, 9);
  EXPECT_EQ(static_cast<std::uint32_t>(FileCRC32(Put(data))), Zlib(data));
}

}  // namespace
}  // namespace zephron
