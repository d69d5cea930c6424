#include "tools/patcher/patch_format.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>

namespace zephron::patcher {
namespace {

template <typename T>
void Put(char* at, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

template <typename T>
T Get(const char* at) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<unsigned char>(at[i])) << (8 * i);
  return value;
}

}  // namespace

std::array<char, kPatchHeaderSize> EncodePatchHeader(const PatchHeader& header) {
  std::array<char, kPatchHeaderSize> bytes{};
  std::memcpy(bytes.data(), kPatchMagic.data(), kPatchMagic.size());
  Put(bytes.data() + 8, header.baseCrc);
  Put(bytes.data() + 12, header.baseSize);
  Put(bytes.data() + 20, header.resultCrc);
  Put(bytes.data() + 24, header.resultSize);
  return bytes;
}

std::optional<PatchHeader> DecodePatchHeader(std::string_view bytes) {
  if (bytes.size() < kPatchHeaderSize || bytes.substr(0, kPatchMagic.size()) != kPatchMagic) return std::nullopt;
  PatchHeader header;
  header.baseCrc = Get<std::uint32_t>(bytes.data() + 8);
  header.baseSize = Get<std::uint64_t>(bytes.data() + 12);
  header.resultCrc = Get<std::uint32_t>(bytes.data() + 20);
  header.resultSize = Get<std::uint64_t>(bytes.data() + 24);
  return header;
}

int WindowLogFor(std::uint64_t baseSize, std::uint64_t resultSize) {
  const ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
  const std::uint64_t span = baseSize + resultSize;
  int log = 0;
  while (log < 63 && (std::uint64_t{1} << log) < span) ++log;
  return std::clamp(log, bounds.lowerBound, bounds.upperBound);
}

}  // namespace zephron::patcher
