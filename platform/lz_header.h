// The 14-byte header that starts an SZDD file: its signature, the LZSS mode,
// the character the compress tool dropped from the name and the expanded
// size. Read the same way on every system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/lz_expand.h"

namespace zephron::platform {

// Where the compressed data starts.
inline constexpr std::size_t kLzHeaderSize = 14;

struct LzHeader {
  char missingChar = '\0';
  std::uint64_t expandedSize = 0;
};

// The bytes read from the start of a file, fewer than 14 when it is shorter:
// kOk with `header` filled in, kNotCompressed when they do not start with the
// signature, kCorrupt when the signature is followed by too little or by
// another mode.
LzStatus ReadLzHeader(std::span<const unsigned char> start, LzHeader& header);

// The header of an LZSS-mode file; the expanded size is kept in 32 bits, the
// format's limit.
std::array<unsigned char, kLzHeaderSize> LzHeaderBytes(const LzHeader& header);

}  // namespace zephron::platform
