#include "archive/crc32.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZEPHRON_CRC32_CLMUL 1
#endif

namespace zephron {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Slicing-by-16: table k advances a byte that lies k bytes before the end of
// a 16-byte block, so one block costs 16 independent lookups. 16 KiB, built
// at compile time.
using Tables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][n] = c;
  }
  for (std::size_t k = 1; k < 16; ++k) {
    for (std::size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][2] == 0xEE0E612Cu && kTables[0][3] == 0x990951BAu);

inline std::uint32_t Load32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

// Works on the register (the inverted CRC).
std::uint32_t RegisterBytewise(std::uint32_t reg, const unsigned char* p, std::size_t n) {
  while (n--) reg = kTables[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
  return reg;
}

std::uint32_t RegisterSliced(std::uint32_t reg, const unsigned char* p, std::size_t n) {
  const auto& t = kTables;
  while (n >= 16) {
    const std::uint32_t a = Load32(p) ^ reg, b = Load32(p + 4), c = Load32(p + 8), d = Load32(p + 12);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    p += 16;
    n -= 16;
  }
  return RegisterBytewise(reg, p, n);
}

#ifdef ZEPHRON_CRC32_CLMUL
#define ZEPHRON_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

inline __m128i Load128(const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// Folds acc forward by the distance of the constants k and adds next.
ZEPHRON_CLMUL_TARGET inline __m128i Fold(__m128i acc, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, next), lo);
}

// Folding with carry-less multiplication: four 128-bit lanes are folded
// forward over 64-byte strides, then into one lane, then Barrett-reduced to
// 32 bits. The constants are x^k mod P for the fold distances, bit-reflected,
// and the Barrett pair (P' and mu). n must be at least 64 and a multiple of 16.
ZEPHRON_CLMUL_TARGET std::uint32_t RegisterClmul(std::uint32_t reg, const unsigned char* p, std::size_t n) {
  alignas(16) static const std::uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const std::uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const std::uint64_t k5k0[2] = {0x0163cd6124, 0x0000000000};
  alignas(16) static const std::uint64_t poly[2] = {0x01db710641, 0x01f7011641};

  __m128i x1 = Load128(p), x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  p += 64;
  n -= 64;

  while (n >= 64) {
    x1 = Fold(x1, x0, Load128(p));
    x2 = Fold(x2, x0, Load128(p + 16));
    x3 = Fold(x3, x0, Load128(p + 32));
    x4 = Fold(x4, x0, Load128(p + 48));
    p += 64;
    n -= 64;
  }

  x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, x0, x2);
  x1 = Fold(x1, x0, x3);
  x1 = Fold(x1, x0, x4);
  while (n >= 16) {
    x1 = Fold(x1, x0, Load128(p));
    p += 16;
    n -= 16;
  }

  // 128 -> 64 bits.
  __m128i x2b = _mm_clmulepi64_si128(x1, x0, 0x10);
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
  x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2b = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, mask32);
  x1 = _mm_clmulepi64_si128(x1, x0, 0x00);
  x1 = _mm_xor_si128(x1, x2b);

  // Barrett reduction to 32 bits.
  x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2b = _mm_and_si128(x1, mask32);
  x2b = _mm_clmulepi64_si128(x2b, x0, 0x10);
  x2b = _mm_and_si128(x2b, mask32);
  x2b = _mm_clmulepi64_si128(x2b, x0, 0x00);
  x1 = _mm_xor_si128(x1, x2b);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HasClmul() {
  static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
}
#endif

std::uint32_t Register(std::uint32_t reg, const unsigned char* p, std::size_t n) {
#ifdef ZEPHRON_CRC32_CLMUL
  if (n >= 64 && HasClmul()) {
    const std::size_t folded = n & ~std::size_t{15};
    reg = RegisterClmul(reg, p, folded);
    p += folded;
    n -= folded;
  }
#endif
  return RegisterSliced(reg, p, n);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::byte> data) {
  return ~Register(~crc, reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

std::uint32_t detail::Crc32UpdatePortable(std::uint32_t crc, std::span<const std::byte> data) {
  return ~RegisterSliced(~crc, reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

std::int32_t FileCRC32(const std::string& path) {
  std::uint32_t reg = 0xFFFFFFFFu;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (file) {
    // Large reads straight into our buffer; the checksum itself needs no more memory than this.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
      const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
      if (got == 0) break;
      reg = Register(reg, buffer.data(), got);
    }
  }
  return static_cast<std::int32_t>(~reg);
}

}  // namespace zephron
