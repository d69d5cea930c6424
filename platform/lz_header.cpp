#include "platform/lz_header.h"

#include <algorithm>
#include <array>

namespace zephron::platform {
namespace {

constexpr std::array<unsigned char, 8> kSzddSignature{'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr unsigned char kModeLzss = 'A';

}  // namespace

LzStatus ReadLzHeader(std::span<const unsigned char> start, LzHeader& header) {
  // The QBasic variant shares the first bytes of the signature but not all.
  if (start.size() < kSzddSignature.size() || !std::equal(kSzddSignature.begin(), kSzddSignature.end(), start.begin())) {
    return LzStatus::kNotCompressed;
  }
  if (start.size() < kLzHeaderSize || start[8] != kModeLzss) return LzStatus::kCorrupt;
  header.missingChar = static_cast<char>(start[9]);
  header.expandedSize = std::uint64_t{start[10]} | (std::uint64_t{start[11]} << 8) | (std::uint64_t{start[12]} << 16) |
                        (std::uint64_t{start[13]} << 24);
  return LzStatus::kOk;
}

std::array<unsigned char, kLzHeaderSize> LzHeaderBytes(const LzHeader& header) {
  std::array<unsigned char, kLzHeaderSize> bytes{};
  std::copy(kSzddSignature.begin(), kSzddSignature.end(), bytes.begin());
  bytes[8] = kModeLzss;
  bytes[9] = static_cast<unsigned char>(header.missingChar);
  for (int i = 0; i < 4; ++i) bytes[10 + i] = static_cast<unsigned char>((header.expandedSize >> (8 * i)) & 0xFF);
  return bytes;
}

}  // namespace zephron::platform
