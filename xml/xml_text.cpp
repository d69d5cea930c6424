#include "xml/xml_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "xml/xml_node_pool.h"
#include "platform/ascii_case.h"
#include "xml/xml_unicode.h"

namespace zephron {
namespace xmltext {

namespace {

// The reader scans the input buffer in place. A tag or value that lies
// whole in the buffer is found and converted in one piece, 16 bytes at a
// time (the buffer may be read a little past its end for that). One that
// runs past the buffer goes the general way: a word-at-a-time scan finds
// the next delimiter ("<" or ">") or the next character that is not ASCII,
// the run before it goes into the name or value in one append (UTF-16 units
// narrowed to bytes), and only the other characters are converted one by
// one; the only state carried from one piece of the buffer to the next is a
// high surrogate waiting for its low half.

inline bool IsTagSkip(unsigned c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '<'; }

inline std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The index of the first byte of data[0, n) that is `stop` or not ASCII, or n.
inline std::size_t ScanBytes(const unsigned char* data, std::size_t n, unsigned char stop) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i stops = _mm_set1_epi8(static_cast<char>(stop));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    // movemask takes the top bit of each byte: set for bytes of 0x80 and up.
    const int hit = _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, stops)));
    if (hit != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit)));
  }
#endif
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t w = Load64(data + i);
    const std::uint64_t x = w ^ (kOnes * stop);
    // The lowest flagged byte is exact: the zero test borrows only upwards.
    const std::uint64_t hit = (w & kHigh) | ((x - kOnes) & ~x & kHigh);
    if (hit != 0) return i + static_cast<std::size_t>(__builtin_ctzll(hit)) / 8;
  }
  for (; i < n; ++i) {
    if (data[i] == stop || data[i] >= 0x80) return i;
  }
  return n;
}

// The index of the first little-endian UTF-16 unit of data (`units` of
// them) that is `stop` or not ASCII, or units.
inline std::size_t ScanUnits(const unsigned char* data, std::size_t units, unsigned char stop) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i stops = _mm_set1_epi16(static_cast<short>(stop));
  const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= units; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
    const __m128i wide = _mm_cmpeq_epi16(_mm_and_si128(v, notAscii), zero);  // all ones for ASCII units
    const __m128i found = _mm_cmpeq_epi16(v, stops);
    // Per unit two mask bits: set where the unit is not ASCII or is `stop`.
    const int hit = _mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(wide, _mm_set1_epi8(-1)), found));
    if (hit != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit))) / 2;
  }
#endif
  constexpr std::uint64_t kOnes = 0x0001000100010001ull;
  constexpr std::uint64_t kNotAscii = 0xFF80FF80FF80FF80ull;
  constexpr std::uint64_t kHigh = 0x8000800080008000ull;
  for (; i + 4 <= units; i += 4) {
    const std::uint64_t w = Load64(data + 2 * i);
    const std::uint64_t x = w ^ (kOnes * stop);
    const std::uint64_t wide = w & kNotAscii;
    // Lanes are below 0x80 here, so the zero test is exact for every lane
    // below the first non-ASCII one.
    const std::uint64_t hit = wide | ((x - kOnes) & ~x & kHigh);
    if (hit != 0) {
      // kNotAscii flags a lane at bit 7 or above of it; kHigh at bit 15.
      return i + static_cast<std::size_t>(__builtin_ctzll(hit)) / 16;
    }
  }
  for (; i < units; ++i) {
    if ((data[2 * i] == stop && data[2 * i + 1] == 0) || data[2 * i + 1] != 0 || data[2 * i] >= 0x80) return i;
  }
  return units;
}

// ScanBytes and ScanUnits for data that may be read up to
// BufferedInput::kReadSlack bytes past its end: whole blocks only.
inline std::size_t ScanBytesInBlocks(const unsigned char* data, std::size_t n, unsigned char stop) {
#if defined(__SSE2__)
  const __m128i stops = _mm_set1_epi8(static_cast<char>(stop));
  for (std::size_t i = 0; i < n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int hit = _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, stops)));
    if (hit != 0) return std::min(n, i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit))));
  }
  return n;
#else
  return ScanBytes(data, n, stop);
#endif
}

inline std::size_t ScanUnitsInBlocks(const unsigned char* data, std::size_t units, unsigned char stop) {
#if defined(__SSE2__)
  const __m128i stops = _mm_set1_epi16(static_cast<short>(stop));
  const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (std::size_t i = 0; i < units; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, notAscii), zero);
    const int hit = _mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(ascii, _mm_set1_epi8(-1)), _mm_cmpeq_epi16(v, stops)));
    if (hit != 0) return std::min(units, i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit))) / 2);
  }
  return units;
#else
  return ScanUnits(data, units, stop);
#endif
}

// Writes `units` ASCII UTF-16 units to dest as bytes.
inline void Narrow(char* dest, const unsigned char* data, std::size_t units) {
  std::size_t k = 0;
#if defined(__SSE2__)
  for (; k + 8 <= units; k += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * k));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + k), _mm_packus_epi16(v, v));
  }
#endif
  for (; k < units; ++k) dest[k] = static_cast<char>(data[2 * k]);
}

// Narrow for data readable past its end as for the scans above and room
// for 7 bytes past dest's end.
inline void NarrowInBlocks(char* dest, const unsigned char* data, std::size_t units) {
#if defined(__SSE2__)
  for (std::size_t k = 0; k < units; k += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * k));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + k), _mm_packus_epi16(v, v));
  }
#else
  Narrow(dest, data, units);
#endif
}

// The index of the first byte `c` of data[0, n), or n; data is read as for
// ScanBytesInBlocks.
inline std::size_t FindByteInBlocks(const unsigned char* data, std::size_t n, unsigned char c) {
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(c));
  for (std::size_t i = 0; i < n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int hit = _mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted));
    if (hit != 0) return std::min(n, i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit))));
  }
  return n;
#else
  const void* found = std::memchr(data, c, n);
  return found == nullptr ? n : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - data);
#endif
}

// Writes a code point below 0x110000 as UTF-8; the bytes written.
inline std::size_t PutUtf8(char* dest, char32_t cp) {
  if (cp < 0x80) {
    dest[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    dest[0] = static_cast<char>(0xC0 | (cp >> 6));
    dest[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    dest[0] = static_cast<char>(0xE0 | (cp >> 12));
    dest[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    dest[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  dest[0] = static_cast<char>(0xF0 | (cp >> 18));
  dest[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  dest[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  dest[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// The UTF-16 units data[0, units) as UTF-8 at dest, the way Utf16Appender
// converts them (pairs joined, lone surrogates as U+FFFD), ASCII runs in
// whole blocks: data is read as for ScanUnitsInBlocks, dest needs room for
// 3 bytes a unit and 8 more. The bytes written.
inline std::size_t WideToUtf8InBlocks(char* dest, const unsigned char* data, std::size_t units) {
  std::size_t i = 0;
  std::size_t out = 0;
  while (true) {
    const std::size_t run = ScanUnitsInBlocks(data + 2 * i, units - i, 0);
    NarrowInBlocks(dest + out, data + 2 * i, run);
    out += run;
    i += run;
    if (i == units) return out;
    char32_t u = data[2 * i] | (data[2 * i + 1] << 8);
    ++i;
    if (u >= 0xD800 && u <= 0xDFFF) {
      const char32_t low = i < units ? static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8)) : 0;
      if (u <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        u = 0xFFFD;
      }
    }
    out += PutUtf8(dest + out, u);
  }
}

// Copies n bytes in whole 16-byte blocks: data is read as for
// ScanBytesInBlocks, dest needs room for 15 bytes more.
inline void CopyInBlocks(char* dest, const unsigned char* data, std::size_t n) {
#if defined(__SSE2__)
  for (std::size_t i = 0; i < n; i += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
  }
#else
  std::memcpy(dest, data, n);
#endif
}

// The 8-bit characters data[0, n) as UTF-8 at dest, ASCII runs in whole
// blocks: data is read as for ScanBytesInBlocks, dest needs room for 2
// bytes a character and 16 more. The bytes written.
inline std::size_t Latin1ToUtf8InBlocks(char* dest, const unsigned char* data, std::size_t n) {
  std::size_t i = 0;
  std::size_t out = 0;
  while (true) {
    const std::size_t run = ScanBytesInBlocks(data + i, n - i, 0);
    CopyInBlocks(dest + out, data + i, run);
    out += run;
    i += run;
    if (i == n) return out;
    out += PutUtf8(dest + out, data[i++]);
  }
}

// Appends `units` ASCII UTF-16 units as bytes.
inline void AppendNarrowed(std::string& out, const unsigned char* data, std::size_t units) {
  if (units == 0) return;
  const std::size_t old = out.size();
  out.resize(old + units);
  Narrow(out.data() + old, data, units);
}

// The UTF-8 length of the UTF-16 units of data before the first unit
// `stop` (or all `units`), counting a surrogate half as 3 bytes (an upper
// bound for a pair).
inline std::size_t Utf8LengthUntil(const unsigned char* data, std::size_t units, unsigned char stop) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned u = data[2 * i] | (data[2 * i + 1] << 8);
    if (u == stop) break;
    bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
  }
  return bytes;
}

// UTF-16 code units into UTF-8: surrogate pairs are joined (also across
// pieces of the buffer), lone surrogates become U+FFFD.
class Utf16Appender {
 public:
  explicit Utf16Appender(std::string& out) : out_(out) {}

  void Add(char16_t u) {
    if (pending_ != 0) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        xmlchars::AppendUtf8(out_, 0x10000 + ((pending_ - 0xD800) << 10) + (u - 0xDC00));
        pending_ = 0;
        return;
      }
      xmlchars::AppendUtf8(out_, 0xFFFD);
      pending_ = 0;
    }
    if (u < 0x80) {
      out_.push_back(static_cast<char>(u));
    } else if (u >= 0xD800 && u <= 0xDBFF) {
      pending_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      xmlchars::AppendUtf8(out_, 0xFFFD);
    } else {
      xmlchars::AppendUtf8(out_, u);
    }
  }

  // Appends the units of data up to the unit `stop`; the number of units
  // taken (all of them when `stop` does not occur).
  std::size_t AddUntil(const unsigned char* data, std::size_t units, unsigned char stop) {
    std::size_t i = 0;
    bool reserved = false;
    while (i < units) {
      if (pending_ == 0) {
        const std::size_t run = ScanUnits(data + 2 * i, units - i, stop);
        AppendNarrowed(out_, data + 2 * i, run);
        i += run;
        if (i == units) break;
      }
      const auto u = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
      if (u == stop) break;
      if (!reserved) {
        // Text that is not all ASCII grows its string once, not char by char.
        out_.reserve(out_.size() + Utf8LengthUntil(data + 2 * i, units - i, stop));
        reserved = true;
      }
      Add(u);
      ++i;
    }
    return i;
  }

  void Finish() {
    if (pending_ != 0) xmlchars::AppendUtf8(out_, 0xFFFD);
    pending_ = 0;
  }

 private:
  std::string& out_;
  char32_t pending_ = 0;
};

// Appends 8-bit characters (codes 0..255) as UTF-8 up to the byte `stop`;
// the number of bytes taken (all when `stop` does not occur).
std::size_t AppendLatin1Until(std::string& out, const unsigned char* data, std::size_t n, unsigned char stop) {
  std::size_t i = 0;
  bool reserved = false;
  while (i < n) {
    const std::size_t run = ScanBytes(data + i, n - i, stop);
    out.append(reinterpret_cast<const char*>(data) + i, run);
    i += run;
    if (i == n || data[i] == stop) break;
    if (!reserved) {
      // The rest up to `stop` takes one or two bytes per character.
      const void* end = std::memchr(data + i, stop, n - i);
      const std::size_t rest = (end != nullptr ? static_cast<const unsigned char*>(end) : data + n) - (data + i);
      std::size_t wide = 0;
      for (std::size_t k = i; k < i + rest; ++k) wide += data[k] >> 7;
      out.reserve(out.size() + rest + wide);
      reserved = true;
    }
    xmlchars::AppendLatin1(out, data[i]);
    ++i;
  }
  return i;
}

// One UTF-16 unit; false at the end (a lone trailing byte is consumed).
inline bool ReadUnit(xmlio::BufferedInput& in, char16_t& u) {
  if (in.Available() >= 2) {
    const unsigned char* p = in.Data();
    u = static_cast<char16_t>(p[0] | (p[1] << 8));
    in.Skip(2);
    return true;
  }
  unsigned char bytes[2];
  if (in.ReadExact(bytes, 2)) {
    u = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
    return true;
  }
  unsigned char rest;
  while (in.ReadByte(rest)) {
  }
  return false;
}

// The index of the first UTF-16 unit `c` among data's `units`, or units;
// data may be read as for ScanUnitsInBlocks.
inline std::size_t FindUnitInBlocks(const unsigned char* data, std::size_t units, unsigned char c) {
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(c));
  for (std::size_t i = 0; i < units; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
    const int hit = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
    if (hit != 0) return std::min(units, i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hit))) / 2);
  }
  return units;
#else
  for (std::size_t i = 0; i < units; ++i) {
    if (data[2 * i] == c && data[2 * i + 1] == 0) return i;
  }
  return units;
#endif
}

// Consumes everything up to and including the next "<"; false when the
// stream ends first.
bool SkipPastOpen(xmlio::BufferedInput& in, bool ansi) {
  // Mostly the reader stands right before the "<" after a value.
  if (const std::size_t avail = in.Available(); avail >= 2) {
    const unsigned char* p = in.Data();
    if (p[0] == '<' && (ansi || p[1] == 0)) {
      in.Skip(ansi ? 1 : 2);
      return true;
    }
  }
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return false;
    if (ansi) {
      const void* hit = std::memchr(in.Data(), '<', avail);
      if (hit != nullptr) {
        in.Skip(static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - in.Data()) + 1);
        return true;
      }
      in.Skip(avail);
      continue;
    }
    if (avail >= 2) {
      const std::size_t units = avail / 2;
      const std::size_t at = FindUnitInBlocks(in.Data(), units, '<');
      if (at < units) {
        in.Skip(2 * at + 2);
        return true;
      }
      in.Skip(2 * units);
      continue;
    }
    char16_t u;  // a unit split across the buffer's end
    if (!ReadUnit(in, u)) return false;
    if (u == u'<') return true;
  }
}

void TrimControls(std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  s.resize(end);
  std::size_t begin = 0;
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  if (begin > 0) s.erase(0, begin);
}

// The 8-bit text up to the byte `stop` (consumed when `consume`) or the
// end of the stream, appended to out.
void CollectBytesUntil(xmlio::BufferedInput& in, unsigned char stop, bool consume, std::string& out) {
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return;
    const std::size_t taken = AppendLatin1Until(out, in.Data(), avail, stop);
    if (taken < avail) {
      in.Skip(consume ? taken + 1 : taken);
      return;
    }
    in.Skip(avail);
  }
}

// The UTF-16 text up to the unit `stop` (consumed when `consume`) or the
// end of the stream, appended to out.
void CollectWideUntil(xmlio::BufferedInput& in, unsigned char stop, bool consume, Utf16Appender& out) {
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return;
    if (avail < 2) {
      const std::int64_t at = in.Position();
      char16_t unit;
      if (!ReadUnit(in, unit)) return;
      if (unit == stop) {
        if (!consume) in.Seek(at);
        return;
      }
      out.Add(unit);
      continue;
    }
    const std::size_t units = avail / 2;
    const std::size_t taken = out.AddUntil(in.Data(), units, stop);
    if (taken < units) {
      in.Skip(2 * taken + (consume ? 2 : 0));
      return;
    }
    in.Skip(2 * units);
  }
}

}  // namespace

namespace {

// The rest of a tag name after its "<", appended to the empty `name`.
void ReadTagRest(xmlio::BufferedInput& in, bool ansi, std::string& name) {
  if (ansi) {
    unsigned char b;
    while (true) {
      if (!in.ReadByte(b) || b == '>') return;
      if (!IsTagSkip(b)) break;
    }
    xmlchars::AppendLatin1(name, b);
    CollectBytesUntil(in, '>', true, name);
    return;
  }
  char16_t u;
  while (true) {
    if (!ReadUnit(in, u) || u == u'>') return;
    if (!IsTagSkip(u)) break;
  }
  Utf16Appender collect(name);
  collect.Add(u);
  CollectWideUntil(in, '>', true, collect);
  collect.Finish();
}

// ReadTagName into `name` (emptied first), so the reader can keep one
// buffer for all its tags.
void ReadTagNameInto(xmlio::BufferedInput& in, bool ansi, std::string& name) {
  name.clear();
  if (SkipPastOpen(in, ansi)) ReadTagRest(in, ansi, name);
}

}  // namespace

std::string ReadTagName(xmlio::BufferedInput& in, bool ansi) {
  std::string name;
  ReadTagNameInto(in, ansi, name);
  return name;
}

namespace {

// The text up to the next "<" (which stays for the next tag name) appended
// to `value` untrimmed.
void CollectTagValue(xmlio::BufferedInput& in, bool ansi, std::string& value) {
  if (ansi) {
    CollectBytesUntil(in, '<', false, value);
  } else {
    Utf16Appender collect(value);
    CollectWideUntil(in, '<', false, collect);
    collect.Finish();
  }
}

}  // namespace

std::string ReadTagValue(xmlio::BufferedInput& in, bool ansi) {
  // The blanks skipped before the text are all among the characters the
  // trim removes, so collecting everything and trimming both ends covers both.
  std::string value;
  CollectTagValue(in, ansi, value);
  TrimControls(value);
  return value;
}

std::string NextTwoLines(xmlio::BufferedInput& in) {
  auto line = [&in] {
    std::string text;
    unsigned char b;
    while (in.ReadByte(b) && b != '\r') {
      // NUL bytes (the high halves of UTF-16 text) would cut the message short.
      if (b != 0) xmlchars::AppendLatin1(text, b);
    }
    return text;
  };
  std::string first = line();
  std::string second = line();
  return first + "\r\n" + second;
}

namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// True when `tag` is the end tag of the element named `name`: "/" and the
// name, compared without regard to case.
bool ClosesElement(std::string_view tag, std::string_view name) {
  if (tag.empty() || tag[0] != '/') return false;
  const std::string_view rest = tag.substr(1);
  if (rest == name) return true;  // as written by the writer
  if (rest.size() == name.size()) {
    std::size_t i = 0;
    for (; i < name.size(); ++i) {
      const auto a = static_cast<unsigned char>(rest[i]);
      const auto b = static_cast<unsigned char>(name[i]);
      if ((a | b) >= 0x80) break;
      if (platform::AsciiLower(static_cast<char>(a)) != platform::AsciiLower(static_cast<char>(b))) return false;
    }
    if (i == name.size()) return true;
  } else if (IsAscii(rest) && IsAscii(name)) {
    return false;  // lower-casing keeps ASCII text at its length
  }
  return xmlchars::EqualsLowered(tag, "/" + xmlchars::LowerCase(name));
}

}  // namespace

// Reads the elements below a start element without recursion. The children
// of each open element are collected on the side and handed to it in one
// piece when it closes (also when the load fails), so every child list is
// allocated once at its final size. Nodes come from one pool for the load.
class ElementReader {
 public:
  ElementReader(xmlio::BufferedInput& in, bool& ansi) : in_(in), ansi_(ansi) {}

  void Read(TxmlNode& start) {
    if (start.Parent() == nullptr) {
      const std::int64_t mark = in_.Position();
      std::string name = ReadTagName(in_, ansi_);
      if (name.empty() || name.find('\0') != std::string::npos) {
        ansi_ = false;
        in_.Seek(mark);
        name = ReadTagName(in_, ansi_);
      }
      start.SetName(std::move(name));
    }
    const std::string name = start.Name();
    if (!Enter(start, name)) return;
    try {
      ReadChildren(start);
    } catch (...) {
      // The part read so far stays in the document.
      while (depth_ > 0) Close();
      throw;
    }
  }

 private:
  struct Frame {
    TxmlNode* node = nullptr;
    std::vector<std::unique_ptr<TxmlNode>> children;
  };

  // A tag or a value. Mostly all of it is in the buffer: then it is
  // converted into `room` in one piece; one that runs past the buffer goes
  // the general way into `slow`.
  struct Text {
    std::vector<char> room;
    std::string slow;
  };

  void Open(TxmlNode* node) {
    if (depth_ == frames_.size()) frames_.emplace_back();
    frames_[depth_++].node = node;
  }

  // Hands the collected children to the innermost open element; the side
  // list keeps its room for the next element at that depth.
  void Close() {
    Frame& frame = frames_[--depth_];
    auto& items = frame.node->FItems;
    {
      xmlnodes::ListsFromPool lists(pool_);
      items.reserve(items.size() + frame.children.size());
    }
    for (auto& child : frame.children) items.push_back(std::move(child));
    frame.children.clear();
  }

  void ReadChildren(TxmlNode& start) {
    Open(&start);
    // `closes`: the tag ends the innermost open element.
    std::string_view tag = NextTag();
    bool closes = CheckEndTag(tag, start.Name());
    while (true) {
      Frame& frame = frames_[depth_ - 1];
      if (closes || in_.AtEnd()) {
        // Closed, or cut off: a start tag right at the end gets no element.
        Close();
        if (depth_ == 0) return;
        tag = NextTag();
        closes = CheckAfterChild(tag, frames_[depth_ - 1].node->Name());
        continue;
      }
      if (depth_ >= static_cast<std::size_t>(TxmlDocument::kMaxTextDepth)) {
        throw TxmlError(xmlerr::NestingTooDeep(TxmlDocument::kMaxTextDepth));
      }
      TxmlNode* parent = frame.node;
      std::unique_ptr<TxmlNode> owned(new (pool_) TxmlNode(parent, parent->Document()));
      TxmlNode* child = owned.get();
      frame.children.push_back(std::move(owned));
      if (Enter(*child, tag)) {
        Open(child);
        tag = NextTag();
        closes = CheckEndTag(tag, child->Name());
      } else {
        tag = NextTag();
        closes = CheckAfterChild(tag, parent->Name());
      }
    }
  }

  // The text from the cursor up to the character `stop` when all of it is
  // in the buffer: converted into text.room, and the number of bytes it
  // takes in the input (the stop not included). Nothing is consumed.
  bool PeekText(unsigned char stop, Text& text, std::string_view& out, std::size_t& bytes) {
    const std::size_t avail = in_.Available();
    const unsigned char* data = in_.Data();
    const std::size_t units = ansi_ ? avail : avail / 2;
    // Mostly all of it is ASCII, found in one scan; otherwise the stop is
    // searched on from the first other character.
    const std::size_t ascii = ansi_ ? ScanBytesInBlocks(data, units, stop) : ScanUnitsInBlocks(data, units, stop);
    if (ascii == units) return false;
    std::size_t run = ascii;
    if (ansi_ ? data[ascii] != stop : data[2 * ascii] != stop || data[2 * ascii + 1] != 0) {
      run += ansi_ ? FindByteInBlocks(data + ascii, units - ascii, stop)
                   : FindUnitInBlocks(data + 2 * ascii, units - ascii, stop);
      if (run == units) return false;
    }
    const std::size_t room = 3 * run + 16;
    if (text.room.size() < room) text.room.resize(std::max(room, 2 * text.room.size()));
    char* dest = text.room.data();
    std::size_t length = ascii;
    if (ansi_) {
      CopyInBlocks(dest, data, ascii);
      length += Latin1ToUtf8InBlocks(dest + ascii, data + ascii, run - ascii);
    } else {
      NarrowInBlocks(dest, data, ascii);
      length += WideToUtf8InBlocks(dest + ascii, data + 2 * ascii, run - ascii);
    }
    out = std::string_view(text.room.data(), length);
    bytes = ansi_ ? run : 2 * run;
    return true;
  }

  // The next tag's text between "<" and ">" (empty at the end); valid until
  // the next tag is read.
  std::string_view NextTag() {
    if (!SkipPastOpen(in_, ansi_)) return {};
    std::string_view text;
    std::size_t bytes;
    if (PeekText('>', tag_, text, bytes) && !text.empty() && !IsTagSkip(static_cast<unsigned char>(text[0]))) {
      in_.Skip(bytes + (ansi_ ? 1 : 2));
      return text;
    }
    tag_.slow.clear();
    ReadTagRest(in_, ansi_, tag_.slow);
    return tag_.slow;
  }

  // The start of an element from its raw start tag (read further when it
  // is a declaration): the name is its first word, then the value is read.
  // Both go into the node at their final size. True when children and an
  // end tag follow.
  bool Enter(TxmlNode& node, std::string_view raw) {
    while ((raw.empty() || raw[0] == '?') && !in_.AtEnd()) raw = NextTag();
    if (raw.empty()) {
      node.FName.clear();
      return false;
    }
    std::size_t begin = 0;
    while (begin < raw.size() && (raw[begin] == '\r' || raw[begin] == '\n')) ++begin;
    std::size_t end = begin;
    auto blank = [](char c) { return c <= ' ' && (c == ' ' || c == '\t' || c == '\r' || c == '\n'); };
    while (end < raw.size() && !blank(raw[end])) ++end;
    // An empty element written with attributes (<a x='1'/>) ends in "/" too.
    bool closedWithAttributes = false;
    if (end < raw.size()) {
      std::size_t last = raw.size();
      while (last > 0 && static_cast<unsigned char>(raw[last - 1]) <= ' ') --last;
      closedWithAttributes = last > 0 && raw[last - 1] == '/';
    }
    const bool selfClosed = end > begin && raw[end - 1] == '/';
    // Constructed rather than assigned: a constructed string is allocated at
    // its exact size, an assigned one with room to grow.
    node.FName = std::string(raw.substr(begin, end - begin));

    // The value; the "<" after it stays for the next tag.
    std::string_view value;
    std::size_t bytes;
    if (PeekText('<', value_, value, bytes)) {
      in_.Skip(bytes);
    } else {
      value_.slow.clear();
      CollectTagValue(in_, ansi_, value_.slow);
      value = value_.slow;
    }
    std::size_t first = 0;
    std::size_t last = value.size();
    while (last > 0 && static_cast<unsigned char>(value[last - 1]) <= ' ') --last;
    while (first < last && static_cast<unsigned char>(value[first]) <= ' ') ++first;
    // Both homes of the value are the reader's own, so it is unescaped in place.
    char* text = const_cast<char*>(value.data()) + first;
    std::size_t length = last - first;
    if (std::memchr(text, '&', length) != nullptr) length = xmlchars::UnescapeInPlace(text, length);
    node.FValue = std::string(text, length);
    return !selfClosed && !closedWithAttributes;
  }

  // True when the tag is the end tag of `name`; the end tag of another
  // element is an error.
  static bool CheckEndTag(std::string_view tag, const std::string& name) {
    if (tag.empty() || tag[0] != '/') return false;
    if (!ClosesElement(tag, name)) {
      throw TxmlError(xmlerr::ExpectedButFound("/" + xmlchars::LowerCase(name), std::string(tag)));
    }
    return true;
  }

  bool CheckAfterChild(std::string_view tag, const std::string& name) {
    if (tag.empty()) throw TxmlError(xmlerr::kExpectedTag + NextTwoLines(in_));
    return CheckEndTag(tag, name);
  }

  xmlio::BufferedInput& in_;
  bool& ansi_;
  xmlnodes::NodePool pool_;
  Text tag_;
  Text value_;
  std::vector<Frame> frames_;
  std::size_t depth_ = 0;
};

void ReadElement(TxmlNode& node, xmlio::BufferedInput& in, bool& ansi) { ElementReader(in, ansi).Read(node); }

void WriteElement(const TxmlNode& top, xmlio::BufferedOutput& out, int& Offset) {
  const bool blanks = top.Document() != nullptr && top.Document()->SaveBlankNodes;
  auto writable = [blanks](const TxmlNode& n) {
    return !n.Name().empty() && (!n.Value().empty() || n.Count() > 0 || blanks);
  };
  auto endTag = [&out](const TxmlNode& n) {
    out.PutUnit(u'<');
    out.PutUnit(u'/');
    out.PutUtf16(n.Name());
    out.PutUnit(u'>');
    out.PutUnit(u'\r');
    out.PutUnit(u'\n');
  };
  // Writes the start of an element; true when its children follow.
  auto open = [&](const TxmlNode& n) {
    if (Offset > 0) out.PutBlanks(std::min(Offset, kMaxIndent));
    out.PutUnit(u'<');
    out.PutUtf16(n.Name());
    out.PutUnit(u'>');
    out.PutUtf16(n.Value(), true);
    if (n.Count() == 0) {
      endTag(n);
      return false;
    }
    Offset += 3;
    out.PutUnit(u'\r');
    out.PutUnit(u'\n');
    return true;
  };

  if (!writable(top) || !open(top)) return;
  struct Frame {
    const TxmlNode* node;
    int next;
  };
  std::vector<Frame> stack{{&top, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.node->Count()) {
      const TxmlNode& child = *frame.node->Items(frame.next++);
      if (writable(child) && open(child)) stack.push_back({&child, 0});
      continue;
    }
    Offset -= 3;
    if (Offset > 0) out.PutBlanks(std::min(Offset, kMaxIndent));
    endTag(*frame.node);
    stack.pop_back();
  }
}

}  // namespace xmltext

// ---- the element-level entry points ----

void TxmlNode::Save(TxmlStream& stream, int& Offset) {
  xmlio::BufferedOutput out(stream);
  xmltext::WriteElement(*this, out, Offset);
  out.Flush();
}

void TxmlNode::Load(TxmlStream& stream) {
  bool localWidth = true;
  bool& ansi = FDocument != nullptr ? FDocument->ANSIRead : localWidth;
  xmlio::BufferedInput in(stream);
  xmltext::ReadElement(*this, in, ansi);
}

void TxmlNode::Load(const std::string& text) {
  TxmlMemoryStream stream(TxmlDocument::StringToLoadBytes(text));
  bool localWidth = true;
  bool& ansi = FDocument != nullptr ? FDocument->ANSIRead : localWidth;
  // The bytes are 8-bit unless the text needed UTF-16 code units.
  ansi = !TxmlDocument::StringNeedsUtf16(text);
  xmlio::BufferedInput in(stream);
  xmltext::ReadElement(*this, in, ansi);
}

std::string TxmlNode::AsString() {
  TxmlMemoryStream stream;
  int offset = 0;
  Save(stream, offset);
  return TxmlDocument::BytesToString(stream.Bytes());
}

std::string TxmlNode::AsText() const {
  std::string text;
  const bool blanks = FDocument != nullptr && FDocument->SaveBlankNodes;
  struct Item {
    const TxmlNode* node;
    int offset;
  };
  std::vector<Item> pending{{this, 0}};
  while (!pending.empty()) {
    const Item item = pending.back();
    pending.pop_back();
    const TxmlNode& n = *item.node;
    if (n.FName.empty() || (n.FValue.empty() && n.FItems.empty() && !blanks)) continue;
    text.append(static_cast<std::size_t>(std::min(item.offset, xmltext::kMaxIndent)), ' ');
    text += n.FName;
    text += ':';
    text += n.FValue;
    text += "\r\n";
    for (auto it = n.FItems.rbegin(); it != n.FItems.rend(); ++it) pending.push_back({it->get(), item.offset + 3});
  }
  return text;
}

}  // namespace zephron
