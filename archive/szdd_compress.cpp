#include "archive/szdd_compress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/lz_header.h"

namespace zephron {
namespace {

constexpr std::uint32_t kWindow = 4096;
// The decoder's window starts with its write position here; a back-reference
// names a window position, so input byte k sits at (kStart + k) mod kWindow.
constexpr std::uint32_t kStart = kWindow - 16;
constexpr std::uint32_t kMinMatch = 3;
constexpr std::uint32_t kMaxMatch = 18;
// Byte-by-byte decoders handle any distance up to the window size; keeping a
// match's source clear of the bytes the match itself overwrites in the window
// makes the output safe for decoders that copy a whole match at once, too.
constexpr std::uint32_t kMaxDistance = kWindow - kMaxMatch;
// Sizes of the hash tables of three-byte and four-byte prefixes.
constexpr int kHash3Bits = 16;
constexpr int kHash4Bits = 15;
constexpr int kMaxChain = 256;
// Steps a walk goes on along the chain of p's own four bytes once it has a
// match it could hop from: a hop costs hashes, heads from the tables and a
// new chain, which a few more entries of the chain at hand often save.
constexpr int kStepsBeforeHop = 6;
// Input kept in memory: the window behind the position, the lookahead and
// room to read in large pieces; kSlack zero bytes after the data let the
// match comparison read whole words.
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
constexpr std::size_t kSlack = 16;
// Heads fetched ahead of a walk: the positions of most matches (kSlack
// covers the bytes their hashes read past the data).
constexpr std::size_t kHeadsAhead = 6;
constexpr std::uint64_t kMaxExpandedSize = 0xFFFFFFFFu;

// Each byte with its bits in the opposite order.
constexpr std::array<unsigned char, 256> kReversed = [] {
  std::array<unsigned char, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned i = 0; i < 8; ++i) r |= ((v >> i) & 1u) << (7 - i);
    table[v] = static_cast<unsigned char>(r);
  }
  return table;
}();

std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
std::uint32_t Load32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
std::uint16_t Load16(const unsigned char* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Greedy LZSS over hash chains: at every position the longest match among
// the newest kMaxChain chain entries within reach, else a literal.
//
// Every position is on the chain of its three-byte hash. The searches walk
// the chains of four-byte hashes, which hold far fewer candidates that fail
// on the fourth byte. A position that had no entry within reach sharing its
// three-byte hash when it was added, as almost every byte of data that does
// not repeat, is left off the four-byte chains, which saves the loads of
// linking it; that hash's `lone` entry names it. Within reach there is at
// most one such position per three-byte hash (a second one would have found
// the first), so every search looks at the lone entry beside each four-byte
// chain it walks.
//
// Positions are input offsets + 1 in 32 bits (0: none), which the format's
// 4 GiB limit allows; the chain links live in one slot per window position (entry e in slot
// e mod kWindow).
class Encoder {
 public:
  Encoder(std::istream& in, std::ostream& out)
      : in_(in), out_(out), buffer_(kBufferSize + kSlack), head_(std::size_t{1} << kHash4Bits, 0), prev_(kWindow, 0),
        prev2_(kWindow, 0), head3_(std::size_t{1} << kHash3Bits), prev3_(kWindow, 0) {
    pending_.resize(kPendingSize + 17);
  }

  // The number of input bytes, or -1 on a read or write failure or an input
  // beyond the format's limit.
  std::int64_t Run() {
    // The group being filled: its flag byte at `flagAt`, its items from
    // there to `out`. `flags` gathers the items' flags from the low bit up,
    // behind a marker bit that reaches bit 8 with the eighth item; the flag
    // byte holds them the other way round (the first item in bit 0).
    unsigned char* const pending = pending_.data();
    unsigned char* flagAt = pending;
    unsigned char* out = flagAt + 1;
    unsigned flags = 1;
    // A literal item, its flag set.
    auto putLiteral = [&](unsigned char byte) {
      flags = flags * 2 + 1;
      *out++ = byte;
    };
    // A back-reference to `length` bytes at input offset `source`.
    auto putMatch = [&](std::uint32_t source, std::uint32_t length) {
      const std::uint32_t position = (kStart + source) % kWindow;
      out[0] = static_cast<unsigned char>(position & 0xFF);
      out[1] = static_cast<unsigned char>(((position >> 4) & 0xF0) | (length - kMinMatch));
      out += 2;
      flags <<= 1;
    };
    // Closes the group with its flag byte and opens the next one.
    auto closeGroup = [&](unsigned char flagByte) -> bool {
      *flagAt = flagByte;
      flags = 1;
      if (out - pending >= static_cast<std::ptrdiff_t>(kPendingSize)) {
        if (!Write(pending, static_cast<std::size_t>(out - pending))) return false;
        out = pending;
      }
      flagAt = out++;
      return true;
    };
    // Closes the group after its eighth item.
    auto itemDone = [&]() -> bool { return flags < 0x100 || closeGroup(kReversed[flags & 0xFF]); };
    std::uint64_t pos = 0;  // input offset of the next byte to encode
    bool plain = false;     // the last item was a literal with nothing in reach
    while (true) {
      if (!Fill(pos)) return -1;
      const unsigned char* base = buffer_.data() - base_;  // base[offset] is that input byte
      const std::uint64_t end = base_ + length_;
      // Encode while a full match of lookahead is buffered (or up to the end).
      const std::uint64_t stop = eof_ ? end : end - kMaxMatch;
      if (pos >= stop) break;
      // Positions with three bytes to hash; only the last two of the input have not.
      const std::uint64_t hashEnd = end >= kMinMatch ? end - kMinMatch + 1 : 0;
      const std::uint64_t hashStop = std::min(stop, hashEnd);
      while (pos < hashStop) {
        if (flags == 1 && plain && pos + 8 <= hashStop) {
          // At the start of a group after a literal with nothing in reach,
          // as in data that does not repeat: the literals before the first
          // position with an entry in reach, a whole group of them at once.
          const unsigned literals = LiteralsAhead(base, pos);
          if (literals == 8) {
            std::memcpy(out, base + pos, 8);
            out += 8;
            pos += 8;
            if (!closeGroup(0xFF)) return -1;
            continue;
          }
          for (unsigned i = 0; i < literals; ++i) putLiteral(base[pos++]);
          plain = false;
        }
        // The hashes of the position serve both the search and the insertion.
        const std::size_t hash3 = Hash3(base + pos);
        const std::uint32_t head3 = head3_[hash3].newest;
        // Entries at or below `low` are out of reach; offsets fit in 32 bits,
        // the format's limit.
        const std::uint32_t low = Low(pos);
        const auto entry = static_cast<std::uint32_t>(pos + 1);
        if (head3 <= low) {
          // Nothing within reach shares the three-byte hash, as for most
          // bytes of data that does not repeat: a literal.
          AddLone(hash3, entry);
          putLiteral(base[pos++]);
          plain = true;
          if (!itemDone()) return -1;
          continue;
        }
        const std::size_t hash4 = Hash4(base + pos);
        const std::uint32_t head = head_[hash4];
        std::uint32_t next = 0;
        if (head > low) {
          next = prev_[head % kWindow];
          // The four-byte heads the walk may hop to and the insertion of a
          // match will read, fetched while the walk runs.
          for (std::size_t ahead = 1; ahead <= kHeadsAhead; ++ahead) __builtin_prefetch(head_.data() + Hash4(base + pos + ahead));
        }
        std::uint32_t source = 0;
        const std::uint32_t length = LongestMatch(base, pos, end, low, hash3, head, next, source);
        prev3_[entry % kWindow] = head3;
        head3_[hash3].newest = entry;
        prev_[entry % kWindow] = head;
        prev2_[entry % kWindow] = next;
        head_[hash4] = entry;
        if (length >= kMinMatch) {
          putMatch(source, length);
          InsertWithin(base, pos, std::min<std::uint64_t>(pos + length, hashEnd));
          // A full match one byte back: a run of that byte.
          const bool run = source + 1 == pos && length == kMaxMatch;
          pos += length;
          if (run) {
            // Further on in the run, the newest candidate of every position
            // is the byte just before: a search would find each full match
            // the run still holds one byte back.
            const std::uint64_t runStart = pos;
            const std::uint64_t pattern = 0x0101010101010101u * base[pos - 1];
            while (pos + kMaxMatch < hashStop && Load64(base + pos) == pattern && Load64(base + pos + 8) == pattern &&
                   Load16(base + pos + 16) == static_cast<std::uint16_t>(pattern)) {
              if (!itemDone()) return -1;
              putMatch(static_cast<std::uint32_t>(pos - 1), kMaxMatch);
              pos += kMaxMatch;
            }
            if (pos > runStart) LinkRun(base, runStart, pos);
          }
        } else {
          putLiteral(base[pos++]);
        }
        if (!itemDone()) return -1;
      }
      for (; pos < stop; ++pos) {
        putLiteral(base[pos]);
        if (!itemDone()) return -1;
      }
      if (pos > kMaxExpandedSize) return -1;
    }
    if (flags != 1) {
      // A last group of fewer items: their flags moved up to their places.
      while (flags < 0x100) flags <<= 1;
      *flagAt = kReversed[flags & 0xFF];
    } else {
      out = flagAt;  // no item in the group opened last
    }
    if (!Write(pending, static_cast<std::size_t>(out - pending))) return -1;
    return static_cast<std::int64_t>(pos);
  }

 private:
  static constexpr std::size_t kPendingSize = std::size_t{1} << 16;

  // Keeps at least a full match of lookahead in the buffer past `pos` (or
  // all that is left), and the window behind it. False on a read failure.
  bool Fill(std::uint64_t pos) {
    if (eof_ || base_ + length_ - pos >= kMaxMatch * 64) return true;
    const std::uint64_t keepFrom = pos > base_ + kWindow ? pos - kWindow : base_;
    const auto drop = static_cast<std::size_t>(keepFrom - base_);
    if (drop > 0) {
      std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
      length_ -= drop;
      base_ = keepFrom;
    }
    while (!eof_ && length_ < kBufferSize) {
      in_.read(reinterpret_cast<char*>(buffer_.data() + length_), static_cast<std::streamsize>(kBufferSize - length_));
      length_ += static_cast<std::size_t>(in_.gcount());
      if (!in_) {
        eof_ = true;
        if (in_.bad()) return false;
      }
    }
    std::memset(buffer_.data() + length_, 0, kSlack);
    return true;
  }

  // Entries at or below it stand for candidates out of reach of input offset p.
  static std::uint32_t Low(std::uint64_t p) { return static_cast<std::uint32_t>(p >= kMaxDistance ? p - kMaxDistance : 0); }

  // The hashes of the first three and of the first four bytes at p. Both
  // read four bytes; near the end of the input, those past it are slack.
  static std::size_t Hash3(const unsigned char* p) { return ((Load32(p) << 8) * 2654435761u) >> (32 - kHash3Bits); }
  static std::size_t Hash4(const unsigned char* p) { return (Load32(p) * 2654435761u) >> (32 - kHash4Bits); }

  // Adds `entry`, which has no entry of its three-byte hash within reach, as
  // that hash's lone entry, with a link that ends every walk here (no walk
  // reads the link after it).
  void AddLone(std::size_t hash3, std::uint32_t entry) {
    prev3_[entry % kWindow] = 0;
    head3_[hash3] = {entry, entry};
  }

  // Adds position q to both chains of its hashes.
  void Add(const unsigned char* base, std::uint64_t q) {
    const auto entry = static_cast<std::uint32_t>(q + 1);
    ThreeByteHead& heads3 = head3_[Hash3(base + q)];
    prev3_[entry % kWindow] = heads3.newest;
    heads3.newest = entry;
    const std::size_t hash4 = Hash4(base + q);
    const std::uint32_t link = head_[hash4];
    prev_[entry % kWindow] = link;
    prev2_[entry % kWindow] = prev_[link % kWindow];
    head_[hash4] = entry;
  }

  // Adds the positions after `first`, just added, up to `last` (exclusive).
  // Kept out of line: inlined, it costs the literal path its registers.
  [[gnu::noinline]] void InsertWithin(const unsigned char* base, std::uint64_t first, std::uint64_t last) {
    for (std::uint64_t q = first + 1; q < last; ++q) Add(base, q);
  }

  // How many of the eight positions from p on have no entry within reach
  // that shares their three-byte hash, up to the first that has: those are
  // literals, and are added here as lone entries.
  unsigned LiteralsAhead(const unsigned char* base, std::uint64_t p) {
    unsigned n = 0;
    for (; n < 8; ++n, ++p) {
      const std::size_t hash3 = Hash3(base + p);
      if (head3_[hash3].newest > Low(p)) break;
      AddLone(hash3, static_cast<std::uint32_t>(p + 1));
    }
    return n;
  }

  // Adds the positions from `first` up to `last` (exclusive); slots are
  // reused every kWindow entries, so only the newest kWindow are stored (the
  // older ones are out of reach of every later position).
  void LinkRun(const unsigned char* base, std::uint64_t first, std::uint64_t last) {
    for (std::uint64_t q = last - first > kWindow ? last - kWindow : first; q < last; ++q) Add(base, q);
  }

  // The number of equal bytes at a and b, at most limit (<= kMaxMatch).
  static std::uint32_t MatchLength(const unsigned char* a, const unsigned char* b, std::uint32_t limit) {
    // All 18 bytes at once, without a branch on where they differ, which
    // the processor could not foresee.
    const std::uint64_t d1 = Load64(a) ^ Load64(b);
    const std::uint64_t d2 = Load64(a + 8) ^ Load64(b + 8);
    const std::uint32_t d3 = (Load16(a + 16) ^ Load16(b + 16)) | 0x10000u;
    std::uint32_t n = 16 + static_cast<std::uint32_t>(std::countr_zero(d3)) / 8;
    n = d2 != 0 ? 8 + static_cast<std::uint32_t>(std::countr_zero(d2)) / 8 : n;
    n = d1 != 0 ? static_cast<std::uint32_t>(std::countr_zero(d1)) / 8 : n;
    return n < limit ? n : limit;
  }

  // The length of the longest match at p (0 when below kMinMatch), its
  // input offset in `source`; at least kMinMatch bytes follow p. `hash3` is
  // the hash of p's three bytes, `head` heads the chain of its four bytes and
  // `next` is the link stored for it; entries at or below `low` stand for
  // candidates out of reach (or none).
  std::uint32_t LongestMatch(const unsigned char* base, std::uint64_t p, std::uint64_t end, std::uint32_t low,
                             std::size_t hash3, std::uint32_t head, std::uint32_t next, std::uint32_t& source) const {
    const auto limit = static_cast<std::uint32_t>(std::min<std::uint64_t>(kMaxMatch, end - p));
    std::uint32_t best = head > low ? FindMatch(base, p, limit, low, head, next, source) : 0;
    const ThreeByteHead& heads3 = head3_[hash3];
    if (heads3.lone > low) {
      const std::uint32_t n = MatchLength(base + heads3.lone - 1, base + p, limit);
      if (n > best && n >= kMinMatch) {
        best = n;
        source = heads3.lone - 1;
      }
    }
    return best != 0 ? best : FindThree(base, p, low, heads3.newest, source);
  }

  // When no candidate agrees with p in four bytes: the newest that agrees in
  // three (3), from `entry` on along the three-byte chain, else 0.
  std::uint32_t FindThree(const unsigned char* base, std::uint64_t p, std::uint32_t low, std::uint32_t entry,
                          std::uint32_t& source) const {
    const std::uint32_t want = Load32(base + p);
    for (int left = kMaxChain; entry > low && left > 0; --left) {
      // The first three bytes, in the high bits as in Hash3.
      if (((Load32(base + entry - 1) ^ want) << 8) == 0) {
        source = entry - 1;
        return kMinMatch;
      }
      entry = prev3_[entry % kWindow];
    }
    return 0;
  }

  // The length of the best match at p among the candidates on four-byte
  // chains and their lone entries (0 when below kMinMatch), its input offset
  // in `source`. `entry` heads the chain of p's four bytes and is within
  // reach, `next` is the link stored for it.
  //
  // Chains only lead to older positions, and no slot within reach has been
  // reused (every entry inserted so far lies before p), so the links read
  // are exact: a walk ends at the first one out of reach. Each walk keeps
  // the next entry at hand and loads the one after it from prev2_, so that
  // the load for a candidate overlaps the comparison of the one before
  // instead of waiting for it.
  std::uint32_t FindMatch(const unsigned char* base, std::uint64_t p, std::uint32_t limit, std::uint32_t low,
                          std::uint32_t entry, std::uint32_t next, std::uint32_t& source) const {
    const unsigned char* b = base + p;
    const std::uint32_t* const links2 = prev2_.data();
    std::uint32_t best = kMinMatch - 1;
    int left = kMaxChain;
    // The chain of p's four bytes, until kStepsBeforeHop entries after the
    // best match is at least n - 1 back (`far`). Only a candidate that agrees
    // up to and including byte `best` can be longer: `probe + entry` is where
    // the candidate of entry holds the two bytes ending there, `want` the two
    // bytes of p they must equal.
    const unsigned char* probe = base + best - 2;
    std::uint16_t want = Load16(b + best - 1);
    bool far = false;
    int beforeHop = kStepsBeforeHop;
    for (;;) {
      const std::uint32_t after = links2[entry % kWindow];
      if (Load16(probe + entry) == want) {
        const std::uint32_t candidate = entry - 1;
        const std::uint32_t n = MatchLength(base + candidate, b, limit);
        if (n > best) {
          best = n;
          source = candidate;
          if (n == limit) return best;
          far = p - candidate >= n - 1;
          probe = base + best - 2;
          want = Load16(b + best - 1);
        }
      }
      if (next <= low || --left == 0) return best >= kMinMatch ? best : 0;
      if (far && --beforeHop == 0) break;
      entry = next;
      next = after;
    }
    // A longer candidate also matches the four bytes at best - 3, so the
    // walk goes on along their chain, which is usually much shorter: there
    // an entry stands `shift` = best - 3 past its candidate. Every older
    // candidate that could be longer lies on it or is the lone entry of
    // those bytes' three-byte hash, its bytes at best - 3 being before p and
    // so indexed, as the current candidate is at least best - 1 back.
    // Candidates newer than the current one met again there are no longer
    // than the best. The bytes of that chain tell nothing more, so each
    // candidate is first checked on its first four bytes.
    const std::uint32_t* const links = prev_.data();
    const std::uint32_t head4 = Load32(b);
    for (;;) {
      const std::uint32_t shift = best - 3;
      const std::uint32_t lowEntry = low + shift;  // entries at or below it stand for candidates out of reach
      const std::uint32_t lone = head3_[Hash3(b + shift)].lone;
      if (lone > lowEntry) {
        const std::uint32_t candidate = lone - 1 - shift;
        const std::uint32_t n = MatchLength(base + candidate, b, limit);
        if (n > best) {
          best = n;
          source = candidate;
          if (n == limit) return best;
          if (p - candidate >= n - 1) continue;
        }
      }
      entry = head_[Hash4(b + shift)];
      if (entry <= lowEntry || --left == 0) return best;
      next = links[entry % kWindow];
      const unsigned char* const at = base - 1 - shift;  // at + entry: the candidate of entry
      far = false;
      for (;;) {
        const std::uint32_t after = links2[entry % kWindow];
        const unsigned char* const a = at + entry;
        if (Load32(a) == head4) {
          const std::uint32_t n = MatchLength(a, b, limit);
          if (n > best) {
            best = n;
            source = entry - 1 - shift;
            if (n == limit) return best;
            // Far enough back to hop from, unless the chain ends here;
            // closer ones go on along this chain.
            far = p - source >= n - 1;
          }
        }
        if (next <= lowEntry || --left == 0) return best;
        if (far) break;
        entry = next;
        next = after;
      }
    }
  }

  bool Write(const unsigned char* data, std::size_t size) {
    return size == 0 || static_cast<bool>(out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)));
  }

  std::istream& in_;
  std::ostream& out_;
  std::vector<unsigned char> buffer_;
  std::uint64_t base_ = 0;   // input offset of buffer_[0]
  std::size_t length_ = 0;   // valid bytes in buffer_
  bool eof_ = false;
  // Per hash of three bytes: its newest entry, and its newest entry that is
  // on no four-byte chain. Side by side, so that a literal writes one line.
  struct ThreeByteHead {
    std::uint32_t newest = 0;
    std::uint32_t lone = 0;
  };
  std::vector<std::uint32_t> head_;  // newest entry per hash of four bytes
  std::vector<std::uint32_t> prev_;  // the entry before it on its four-byte chain, per window slot
  std::vector<std::uint32_t> prev2_;  // the entry two before it, per window slot
  std::vector<ThreeByteHead> head3_;
  std::vector<std::uint32_t> prev3_;  // the entry before it on its three-byte chain, per window slot
  std::vector<unsigned char> pending_;  // whole groups waiting to be written
};

void PutHeader(std::ostream& out, char missingChar, std::uint32_t size) {
  const auto header = platform::LzHeaderBytes({missingChar, size});
  out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
}

}  // namespace

bool SzddCompress(std::istream& in, std::ostream& out, char missingChar) {
  const auto start = out.tellp();
  if (start == std::ostream::pos_type(-1)) return false;
  PutHeader(out, missingChar, 0);
  if (!out) return false;
  const std::int64_t size = Encoder(in, out).Run();
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxExpandedSize) return false;
  const auto end = out.tellp();
  out.seekp(start);
  PutHeader(out, missingChar, static_cast<std::uint32_t>(size));
  out.seekp(end);
  return static_cast<bool>(out.flush());
}

std::string SzddCompress(std::string_view data, char missingChar) {
  std::istringstream in{std::string(data)};
  std::ostringstream out;
  SzddCompress(in, out, missingChar);
  return std::move(out).str();
}

bool SzddCompressFile(const std::filesystem::path& input, const std::filesystem::path& output, char missingChar) {
  std::ifstream in(input, std::ios::binary);
  if (!in) return false;
  std::filesystem::path scratch = output;
  scratch += ".partial";
  bool ok;
  {
    std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
    ok = out && SzddCompress(in, out, missingChar);
    out.close();
    ok = ok && !out.fail();
  }
  std::error_code ec;
  if (ok) std::filesystem::rename(scratch, output, ec);
  if (!ok || ec) {
    std::filesystem::remove(scratch, ec);
    return false;
  }
  return true;
}

}  // namespace zephron
