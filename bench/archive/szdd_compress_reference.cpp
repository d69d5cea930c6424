// A frozen copy of the SZDD compressor as it was before its rewrite, kept only
// so that the benchmark can time the two side by side and compare their
// output sizes on the same inputs. Not part of any program.
#include "bench/archive/szdd_compress_reference.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <vector>

namespace zephron::reference {
namespace {

constexpr std::array<char, 8> kSignature{'S', 'Z', 'D', 'D', '\x88', '\xF0', '\x27', '\x33'};
constexpr std::size_t kHeaderSize = 14;
constexpr std::int64_t kWindow = 4096;
// The decoder's window starts with its write position here; a back-reference
// names a window position, so input byte k sits at (kStart + k) mod kWindow.
constexpr std::int64_t kStart = kWindow - 16;
constexpr std::int64_t kMinMatch = 3;
constexpr std::int64_t kMaxMatch = 18;
// Byte-by-byte decoders handle any distance up to the window size; keeping a
// match's source clear of the bytes the match itself overwrites in the window
// makes the output safe for decoders that copy a whole match at once, too.
constexpr std::int64_t kMaxDistance = kWindow - kMaxMatch;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 256;
constexpr std::size_t kBufferSize = 1 << 17;  // input kept in memory: window + lookahead + room to read
constexpr std::uint64_t kMaxExpandedSize = 0xFFFFFFFFu;

class Encoder {
 public:
  Encoder(std::istream& in, std::ostream& out)
      : in_(in), out_(out), buffer_(kBufferSize), head_(std::size_t{1} << kHashBits, -1), prev_(kWindow, -1) {
    pending_.reserve(1 << 16);
  }

  // The number of input bytes, or nullopt-like -1 on a read or write failure.
  std::int64_t Run() {
    group_[0] = 0;
    groupLength_ = 1;
    groupItems_ = 0;
    Fill();
    while (!failed_ && pos_ < End()) {
      std::int64_t source = 0;
      const std::int64_t length = FindMatch(pos_, source);
      if (length >= kMinMatch) {
        EmitMatch(source, length);
        for (std::int64_t i = 0; i < length; ++i) Insert(pos_ + i);
        pos_ += length;
      } else {
        EmitLiteral(At(pos_));
        Insert(pos_);
        ++pos_;
      }
      Fill();
    }
    if (groupItems_ > 0) pending_.append(reinterpret_cast<const char*>(group_.data()), groupLength_);
    Flush();
    return failed_ ? -1 : End();
  }

 private:
  std::int64_t End() const { return base_ + static_cast<std::int64_t>(length_); }
  unsigned char At(std::int64_t absolute) const { return buffer_[static_cast<std::size_t>(absolute - base_)]; }

  // Keeps at least a full match of lookahead in the buffer (or all that is left).
  void Fill() {
    if (eof_ || End() - pos_ >= kMaxMatch) return;
    if (length_ == buffer_.size() || buffer_.size() - length_ < kBufferSize / 4) {
      const std::int64_t keepFrom = std::max(base_, pos_ - kWindow);
      const auto drop = static_cast<std::size_t>(keepFrom - base_);
      std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
      length_ -= drop;
      base_ = keepFrom;
    }
    while (!eof_ && length_ < buffer_.size()) {
      in_.read(reinterpret_cast<char*>(buffer_.data() + length_), static_cast<std::streamsize>(buffer_.size() - length_));
      const auto got = in_.gcount();
      length_ += static_cast<std::size_t>(got);
      if (!in_) {
        eof_ = true;
        if (in_.bad()) failed_ = true;
      }
      if (End() - pos_ >= kMaxMatch) break;
    }
  }

  std::size_t Hash(std::int64_t p) const {
    const std::uint32_t v = (std::uint32_t{At(p)} << 16) | (std::uint32_t{At(p + 1)} << 8) | At(p + 2);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  void Insert(std::int64_t p) {
    if (p + kMinMatch > End()) return;
    auto& head = head_[Hash(p)];
    prev_[static_cast<std::size_t>(p % kWindow)] = head;
    head = p;
  }

  std::int64_t FindMatch(std::int64_t p, std::int64_t& source) const {
    const std::int64_t limit = std::min(kMaxMatch, End() - p);
    if (limit < kMinMatch) return 0;
    std::int64_t best = 0;
    std::int64_t candidate = head_[Hash(p)];
    for (int chain = 0; candidate >= 0 && p - candidate <= kMaxDistance && chain < kMaxChain; ++chain) {
      const unsigned char* a = &buffer_[static_cast<std::size_t>(candidate - base_)];
      const unsigned char* b = &buffer_[static_cast<std::size_t>(p - base_)];
      if (a[best] == b[best]) {
        std::int64_t n = 0;
        while (n < limit && a[n] == b[n]) ++n;
        if (n > best) {
          best = n;
          source = candidate;
          if (n == limit) break;
        }
      }
      const std::int64_t next = prev_[static_cast<std::size_t>(candidate % kWindow)];
      if (next >= candidate) break;  // the slot was reused by a newer position
      candidate = next;
    }
    return best;
  }

  void EmitLiteral(unsigned char byte) {
    group_[0] |= static_cast<unsigned char>(1u << groupItems_);
    group_[groupLength_++] = byte;
    EndItem();
  }

  void EmitMatch(std::int64_t source, std::int64_t length) {
    const auto position = static_cast<unsigned>((kStart + source) % kWindow);
    group_[groupLength_++] = static_cast<unsigned char>(position & 0xFF);
    group_[groupLength_++] = static_cast<unsigned char>(((position >> 4) & 0xF0) | static_cast<unsigned>(length - kMinMatch));
    EndItem();
  }

  void EndItem() {
    if (++groupItems_ < 8) return;
    pending_.append(reinterpret_cast<const char*>(group_.data()), groupLength_);
    group_[0] = 0;
    groupLength_ = 1;
    groupItems_ = 0;
    if (pending_.size() >= (1 << 16) - 17) Flush();
  }

  void Flush() {
    if (pending_.empty()) return;
    if (!out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()))) failed_ = true;
    pending_.clear();
  }

  std::istream& in_;
  std::ostream& out_;
  std::vector<unsigned char> buffer_;
  std::int64_t base_ = 0;       // input position of buffer_[0]
  std::size_t length_ = 0;      // valid bytes in buffer_
  std::int64_t pos_ = 0;        // next input position to encode
  bool eof_ = false;
  bool failed_ = false;
  std::vector<std::int64_t> head_;  // newest position per hash of three bytes
  std::vector<std::int64_t> prev_;  // older position with the same hash, per window slot
  std::array<unsigned char, 17> group_{};  // a flag byte and up to eight items
  std::size_t groupLength_ = 1;
  int groupItems_ = 0;
  std::string pending_;
};

void PutHeader(std::ostream& out, char missingChar, std::uint32_t size) {
  std::array<char, kHeaderSize> header{};
  std::memcpy(header.data(), kSignature.data(), kSignature.size());
  header[8] = 'A';
  header[9] = missingChar;
  for (int i = 0; i < 4; ++i) header[10 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  out.write(header.data(), header.size());
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

}  // namespace zephron::reference
