#include "xml/xml_stream.h"

#include <algorithm>
#include <cstring>

#include "xml/xml_error.h"
#include "xml/xml_unicode.h"

namespace zephron {

// ---- memory stream ----

std::size_t TxmlMemoryStream::Read(void* buffer, std::size_t count) {
  const auto size = static_cast<std::int64_t>(data_.size());
  if (position_ >= size || count == 0) return 0;
  const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size - position_));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TxmlMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  const auto pos = static_cast<std::size_t>(position_);
  if (pos == data_.size()) {
    data_.append(static_cast<const char*>(buffer), count);
  } else {
    if (pos + count > data_.size()) data_.resize(pos + count, '\0');
    std::memcpy(data_.data() + pos, buffer, count);
  }
  position_ += static_cast<std::int64_t>(count);
  return count;
}

namespace xmlio {

// ---- buffered input ----

namespace {
constexpr std::size_t kInputBuffer = 1 << 16;
}

BufferedInput::BufferedInput(TxmlStream& stream)
    : stream_(stream), size_(stream.Size()), start_(stream.Position()) {
  buffer_.resize(kInputBuffer + kReadSlack);
}

BufferedInput::~BufferedInput() { stream_.SetPosition(Position()); }

bool BufferedInput::Refill() {
  start_ += static_cast<std::int64_t>(cursor_);
  cursor_ = 0;
  length_ = 0;
  if (start_ >= size_) return false;
  stream_.SetPosition(start_);
  length_ = stream_.Read(buffer_.data(), kInputBuffer);
  // A stream that delivers less than its size claims ends where it stops.
  if (length_ == 0) size_ = start_;
  return length_ > 0;
}

void BufferedInput::Seek(std::int64_t position) {
  if (position >= start_ && position <= start_ + static_cast<std::int64_t>(length_)) {
    cursor_ = static_cast<std::size_t>(position - start_);
    return;
  }
  start_ = position;
  cursor_ = 0;
  length_ = 0;
}

bool BufferedInput::ReadExact(void* out, std::size_t count) {
  if (Remaining() < static_cast<std::int64_t>(count)) return false;
  auto* dest = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t avail = Available();
    if (avail == 0) throw TxmlError(xmlerr::kStreamRead);
    const std::size_t n = std::min(avail, count - done);
    std::memcpy(dest + done, Data(), n);
    Skip(n);
    done += n;
  }
  return true;
}

// ---- buffered output ----

void BufferedOutput::FlushBuffer() {
  if (length_ == 0) return;
  const std::size_t count = length_;
  length_ = 0;
  if (stream_.Write(buffer_.get(), count) != count) throw TxmlError(xmlerr::kStreamWrite);
}

void BufferedOutput::Flush() { FlushBuffer(); }

void BufferedOutput::Put(const void* data, std::size_t count) {
  if (count > kCapacity / 2) {
    FlushBuffer();
    if (stream_.Write(data, count) != count) throw TxmlError(xmlerr::kStreamWrite);
    return;
  }
  Reserve(count);
  std::memcpy(buffer_.get() + length_, data, count);
  length_ += count;
}

void BufferedOutput::PutInt32(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                  static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  Put(bytes, 4);
}

void BufferedOutput::PutBlanks(int count) {
  while (count > 0) {
    const int piece = std::min(count, 4096);
    Reserve(static_cast<std::size_t>(piece) * 2);
    char* out = buffer_.get() + length_;
    for (int i = 0; i < piece; ++i) {
      out[2 * i] = ' ';
      out[2 * i + 1] = '\0';
    }
    length_ += static_cast<std::size_t>(piece) * 2;
    count -= piece;
  }
}

void BufferedOutput::PutUtf16(std::string_view text, bool escape) {
  // In pieces for which the buffer surely has room: one input byte gives at
  // most ten output bytes ("&amp;"), a multi-byte sequence at most four.
  constexpr std::size_t kPiece = 4096;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.size(), pos + kPiece);
    Reserve((end - pos) * 10 + 8);
    char* out = buffer_.get() + length_;
    while (pos < end) {
      const auto b = static_cast<unsigned char>(text[pos]);
      if (b < 0x80) {
        ++pos;
        if (escape && (b == '<' || b == '>' || b == '&')) {
          const char* entity = b == '<' ? "&lt;" : b == '>' ? "&gt;" : "&amp;";
          for (const char* p = entity; *p; ++p) {
            *out++ = *p;
            *out++ = '\0';
          }
        } else {
          *out++ = static_cast<char>(b);
          *out++ = '\0';
        }
        continue;
      }
      // A sequence may run past the piece's end; the reserve covers that too.
      char32_t cp = xmlchars::NextCodePoint(text, pos, true);
      if (cp >= 0x10000) {
        cp -= 0x10000;
        const auto high = static_cast<char16_t>(0xD800 + (cp >> 10));
        const auto low = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        *out++ = static_cast<char>(high & 0xFF);
        *out++ = static_cast<char>(high >> 8);
        *out++ = static_cast<char>(low & 0xFF);
        *out++ = static_cast<char>(low >> 8);
      } else {
        *out++ = static_cast<char>(cp & 0xFF);
        *out++ = static_cast<char>(cp >> 8);
      }
    }
    length_ = static_cast<std::size_t>(out - buffer_.get());
  }
}

}  // namespace xmlio
}  // namespace zephron
