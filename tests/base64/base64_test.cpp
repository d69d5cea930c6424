// Base64 of texts (low byte of each UTF-16 unit) and of binary buffers.
#include "archive/base64.h"

#include <gtest/gtest.h>

#include <vector>

namespace zephron {
namespace {

std::string OfBytes(std::initializer_list<int> values) {
  std::vector<std::byte> bytes;
  for (int v : values) bytes.push_back(static_cast<std::byte>(v));
  return Base64Encode(std::span<const std::byte>(bytes));
}

TEST(Base64Text, EncodesShortTextsWithFill) {
  EXPECT_EQ(Base64Encode(std::string()), "");
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
  EXPECT_EQ(Base64Encode("user:password"), "dXNlcjpwYXNzd29yZA==");
}

TEST(Base64Text, CharacterAboveFFLosesItsHighByte) {
  EXPECT_EQ(Base64Encode("\xC5\x81"), Base64Encode("A"));  // U+0141
}

TEST(Base64Text, LatinCharacterIsItsSingleByte) {
  EXPECT_EQ(Base64Encode("\xC3\xA9"), OfBytes({0xE9}));  // U+00E9
}

TEST(Base64Text, CharacterOutsideTheBasicPlaneGivesItsSurrogatesLowBytes) {
  // U+1F600 is D83D DE00 in UTF-16.
  EXPECT_EQ(Base64Encode("\xF0\x9F\x98\x80"), OfBytes({0x3D, 0x00}));
}

TEST(Base64Text, InvalidUtf8BytesAreEncodedUnchanged) {
  EXPECT_EQ(Base64Encode(std::string("\xFF\xC3", 2)), OfBytes({0xFF, 0xC3}));
  EXPECT_EQ(Base64Encode(std::string("a\xE2\x82", 3)), OfBytes({'a', 0xE2, 0x82}));
}

TEST(Base64Bytes, EncodesEveryByteValueAndTail) {
  EXPECT_EQ(OfBytes({}), "");
  EXPECT_EQ(OfBytes({0}), "AA==");
  EXPECT_EQ(OfBytes({0, 0}), "AAA=");
  EXPECT_EQ(OfBytes({0xFF, 0xFF, 0xFF}), "////");
  EXPECT_EQ(OfBytes({0xFB, 0xEF, 0xBE}), "++++");
  EXPECT_EQ(OfBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}), "iVBORw0KGgo=");
}

TEST(Base64Bytes, OutputLengthIsFourPerStartedGroup) {
  std::vector<std::byte> bytes;
  for (int n = 0; n < 50; ++n) {
    EXPECT_EQ(Base64Encode(std::span<const std::byte>(bytes)).size(), static_cast<std::size_t>((n + 2) / 3 * 4));
    bytes.push_back(static_cast<std::byte>(n * 37));
  }
}

}  // namespace
}  // namespace zephron
