#include "platform/lz_expand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/lz_header.h"

namespace zephron::platform {
namespace {

// A descriptor closed when the object goes.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// Reads up to `size` bytes at `offset`; short only at the end of the file.
// -1 on a read error.
ssize_t ReadAt(int fd, unsigned char* data, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// A scratch file beside the target, created empty and open for writing;
// removed again unless Keep() was called.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& target) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".lz%08x", static_cast<unsigned>(random()));
      const std::string candidate = target + suffix;
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_ = Descriptor(fd);
        path_ = candidate;
      } else if (errno != EEXIST) {
        break;
      }
    }
  }
  ~ScratchFile() {
    fd_ = Descriptor();
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }
  int fd() const { return fd_.get(); }
  // Closes the file; false when the data did not all reach it.
  bool Close() {
    const int fd = fd_.release();
    return fd < 0 || ::close(fd) == 0;
  }
  void Keep() { path_.clear(); }

 private:
  Descriptor fd_;
  std::string path_;
};

// The LZSS stream of an SZDD file: groups of a flag byte and eight items,
// the flag's bits from the lowest on telling a literal byte (set) from a
// two-byte reference (clear) into a 4096-byte window. The window starts
// filled with blanks and its write position at 4096 - 16; a reference holds
// a window position (12 bits: the first byte and the high half of the
// second) and a length of 3 to 18 (the low half of the second byte + 3).
//
// The output buffer holds the last window's worth of output in front of the
// bytes not yet written out, so a reference is a copy from a fixed distance
// back in the buffer and the window itself needs no bookkeeping.
class Expander {
 public:
  Expander(int in, int out, std::uint64_t expectedSize)
      : in_(in), out_(out), expected_(expectedSize), input_(kInputChunk + kGroupMax), output_(kWindow + kOutputChunk + kSlack) {
    std::memset(output_.data(), ' ', kWindow);
  }

  LzStatus Run() {
    unsigned char* out = output_.data() + kWindow;
    // The window position of the next output byte.
    unsigned position = kWindow - 16;
    const unsigned char* in = input_.data();
    const unsigned char* inEnd = in;
    bool atEnd = false;
    while (true) {
      if (inEnd - in < static_cast<std::ptrdiff_t>(kGroupMax) && !atEnd) {
        const std::size_t kept = static_cast<std::size_t>(inEnd - in);
        std::memmove(input_.data(), in, kept);
        const ssize_t got = ReadAt(in_, input_.data() + kept, kInputChunk, offset_);
        if (got < 0) return LzStatus::kCorrupt;
        offset_ += got;
        atEnd = static_cast<std::size_t>(got) < kInputChunk;
        in = input_.data();
        inEnd = in + kept + got;
      }
      if (out - output_.data() > static_cast<std::ptrdiff_t>(kWindow + kOutputChunk - kGroupOutputMax)) {
        const LzStatus status = Flush(out);
        if (status != LzStatus::kOk) return status;
      }
      if (inEnd - in >= static_cast<std::ptrdiff_t>(kGroupMax)) {
        // A whole group is in the buffer: no checks per item.
        unsigned flags = *in++;
        if (flags == 0xFF) {
          std::memcpy(out, in, 8);
          in += 8;
          out += 8;
          position += 8;
          continue;
        }
        for (int item = 0; item < 8; ++item, flags >>= 1) {
          if (flags & 1) {
            *out++ = *in++;
            ++position;
          } else {
            const unsigned from = in[0] | ((in[1] & 0xF0u) << 4);
            const unsigned length = (in[1] & 0x0Fu) + 3;
            in += 2;
            out = Copy(out, from, position, length);
            position += length;
          }
        }
        continue;
      }
      // The last group, possibly cut short: the stream ends where an item does.
      if (in == inEnd) break;
      unsigned flags = *in++;
      for (int item = 0; item < 8; ++item, flags >>= 1) {
        if (flags & 1) {
          if (in == inEnd) break;
          *out++ = *in++;
          ++position;
        } else {
          if (inEnd - in < 2) break;
          const unsigned from = in[0] | ((in[1] & 0xF0u) << 4);
          const unsigned length = (in[1] & 0x0Fu) + 3;
          in += 2;
          out = Copy(out, from, position, length);
          position += length;
        }
      }
      if (in == inEnd) break;
    }
    const LzStatus status = Flush(out);
    if (status != LzStatus::kOk) return status;
    // The data stops where the compressed stream ends; a truncated stream
    // shows only as an output shorter than the header's size.
    return written_ == expected_ ? LzStatus::kOk : LzStatus::kCorrupt;
  }

 private:
  static constexpr unsigned kWindow = 4096;
  static constexpr unsigned kMaxLength = 18;
  static constexpr std::size_t kGroupMax = 1 + 8 * 2;                // a flag byte and eight references
  static constexpr std::size_t kGroupOutputMax = 8 * kMaxLength;     // what one group can expand to
  static constexpr std::size_t kInputChunk = std::size_t{1} << 18;
  static constexpr std::size_t kOutputChunk = std::size_t{1} << 20;
  static constexpr std::size_t kSlack = 32;                          // room for a copy's overrun

  // A reference: `length` bytes from window position `from`, as the window
  // would deliver them one at a time (a source that the copy itself
  // overwrites repeats the bytes just written).
  static unsigned char* Copy(unsigned char* out, unsigned from, unsigned position, unsigned length) {
    unsigned distance = (position - from) & (kWindow - 1);
    if (distance == 0) distance = kWindow;
    const unsigned char* source = out - distance;
    if (distance >= kMaxLength) {
      // Source and destination do not overlap: copy the longest length at
      // once (the bytes beyond `length` are overwritten next).
      std::memcpy(out, source, 16);
      std::memcpy(out + 16, source + 16, 2);
    } else {
      for (unsigned i = 0; i < length; ++i) out[i] = source[i];
    }
    return out + length;
  }

  // Writes out what is pending and keeps the last window in front.
  LzStatus Flush(unsigned char*& out) {
    unsigned char* const start = output_.data() + kWindow;
    const auto pending = static_cast<std::size_t>(out - start);
    // A stream that expands beyond the header's size is refused before the
    // excess reaches the disk.
    if (written_ + pending > expected_) return LzStatus::kCorrupt;
    if (!WriteAllToFile(out_, std::as_bytes(std::span(start, pending)))) return LzStatus::kCannotWrite;
    written_ += pending;
    std::memmove(output_.data(), out - kWindow, kWindow);
    out = start;
    return LzStatus::kOk;
  }

  int in_;
  int out_;
  std::uint64_t expected_;
  off_t offset_ = kLzHeaderSize;
  std::uint64_t written_ = 0;
  std::vector<unsigned char> input_;
  std::vector<unsigned char> output_;
};

}  // namespace

struct LzFile::Decoder {
  Descriptor fd;
};

LzFile::LzFile(std::string path) : path_(std::move(path)) {
  // Opened without waiting, so a FIFO or device in the way does not hang
  // the caller; whatever does not deliver the signature is not compressed.
  int fd;
  do {
    fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return;  // kCannotOpen
  auto decoder = std::make_unique<Decoder>();
  decoder->fd = Descriptor(fd);
  std::array<unsigned char, kLzHeaderSize> start{};
  const ssize_t got = ReadAt(fd, start.data(), start.size(), 0);
  LzHeader header;
  status_ = ReadLzHeader(std::span(start).first(got > 0 ? static_cast<std::size_t>(got) : 0), header);
  if (status_ != LzStatus::kOk) return;
  missingChar_ = header.missingChar;
  expandedSize_ = header.expandedSize;
  decoder_ = std::move(decoder);
}

LzFile::~LzFile() = default;
LzFile::LzFile(LzFile&&) noexcept = default;
LzFile& LzFile::operator=(LzFile&&) noexcept = default;

std::optional<std::string> GetExpandedName(const LzFile& file) {
  if (!file.IsOpen()) return std::nullopt;
  return ExpandedName(file.path(), file.missingChar());
}

LzStatus LZCopy(LzFile& source, const std::string& target) {
  if (!source.IsOpen()) return source.status();
  ScratchFile scratch(target);
  if (scratch.path().empty()) return LzStatus::kCannotWrite;
  const LzStatus status = Expander(source.decoder_->fd.get(), scratch.fd(), source.expandedSize()).Run();
  if (status != LzStatus::kOk) return status;
  if (!scratch.Close()) return LzStatus::kCannotWrite;
  std::error_code ec;
  std::filesystem::rename(scratch.path(), target, ec);
  if (ec) return LzStatus::kCannotWrite;
  scratch.Keep();
  return LzStatus::kOk;
}

}  // namespace zephron::platform
