// The layout of our patch files. A patch is a fixed header of 32 bytes,
// little-endian, followed by one zstd frame:
//
//   offset  size  field
//        0     8  magic "ZEPHPAT1"
//        8     4  CRC-32 of the file the patch applies to (the base)
//       12     8  size of the base in bytes
//       20     4  CRC-32 of the result
//       24     8  size of the result in bytes
//       32     -  the result, compressed by zstd with the whole base as its
//                 prefix (a dictionary used once) and long-distance matching
//
// The CRC-32 is the one of archive/crc32.h. The frame's window log is the
// one WindowLogFor gives for the two sizes, so that every byte of the base
// stays within reach while the result is decoded. docs/patch-format.md tells
// the same for publishers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zephron::patcher {

inline constexpr std::string_view kPatchMagic = "ZEPHPAT1";
inline constexpr std::size_t kPatchHeaderSize = 32;
// Base and result are held in memory (the base whole, the result up to one
// window), so both are bounded; a patch that announces more is refused.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{2} << 30;

struct PatchHeader {
  std::uint32_t baseCrc = 0;
  std::uint64_t baseSize = 0;
  std::uint32_t resultCrc = 0;
  std::uint64_t resultSize = 0;
};

std::array<char, kPatchHeaderSize> EncodePatchHeader(const PatchHeader& header);

// nullopt when the bytes do not start with the magic.
std::optional<PatchHeader> DecodePatchHeader(std::string_view bytes);

// The window log (base 2) that covers a base and a result of these sizes,
// within the bounds the zstd library accepts.
int WindowLogFor(std::uint64_t baseSize, std::uint64_t resultSize);

}  // namespace zephron::patcher
