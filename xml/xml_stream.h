// The seekable byte stream the XML library reads and writes (the run-time
// library's stream classes stand behind it on the original platform): memory
// streams, file streams opened with the sharing rules of the XML files, and the
// buffered reader and writer that the serialisers use on top of any stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zephron {

class TxmlStream {
 public:
  virtual ~TxmlStream() = default;
  virtual std::int64_t Size() const = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  // Both return the number of bytes moved; fewer than asked means the end
  // (reading) or a failure (writing).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
};

class TxmlMemoryStream : public TxmlStream {
 public:
  TxmlMemoryStream() = default;
  explicit TxmlMemoryStream(std::string bytes) : data_(std::move(bytes)) {}

  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;

  const std::string& Bytes() const { return data_; }
  std::string TakeBytes() { position_ = 0; return std::move(data_); }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};

// A file opened for one load or save; closed when the object goes.
class TxmlFileStream : public TxmlStream {
 public:
  enum class Mode {
    // Reading while others may read and write the file meanwhile.
    OpenRead,
    // Creating or emptying the file, then writing it while others may read
    // it but not write it (Windows' share mode; elsewhere an advisory lock
    // that other writers of this library respect, there being no mandatory
    // share modes).
    Create,
  };

  // Raises TxmlError with "Unable to open file ..." or "Unable to create file ...".
  TxmlFileStream(const std::string& fileName, Mode mode);
  ~TxmlFileStream() override;
  TxmlFileStream(const TxmlFileStream&) = delete;
  TxmlFileStream& operator=(const TxmlFileStream&) = delete;

  std::int64_t Size() const override;
  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // the file's HANDLE
#else
  int fd_ = -1;
#endif
  std::int64_t position_ = 0;
};

namespace xmlio {

// Reads a stream through a buffer while keeping the logical position one byte
// exact, so the serialisers can read character by character, look back and
// jump to a remembered position. The stream is left at the logical position
// when the reader goes.
class BufferedInput {
 public:
  explicit BufferedInput(TxmlStream& stream);
  ~BufferedInput();
  BufferedInput(const BufferedInput&) = delete;
  BufferedInput& operator=(const BufferedInput&) = delete;

  std::int64_t Position() const { return start_ + static_cast<std::int64_t>(cursor_); }
  std::int64_t Remaining() const { return size_ - Position(); }
  bool AtEnd() const { return Position() >= size_; }
  void Seek(std::int64_t position);

  // Bytes available in the buffer from the cursor on (refilling when empty).
  std::size_t Available() {
    if (cursor_ == length_) Refill();
    return length_ - cursor_;
  }
  const unsigned char* Data() const { return buffer_.data() + cursor_; }
  // Bytes past the available ones that may be read (with arbitrary values),
  // so that scans can go in whole blocks.
  static constexpr std::size_t kReadSlack = 16;
  void Skip(std::size_t count) { cursor_ += count; }

  // One byte; false at the end.
  bool ReadByte(unsigned char& b) {
    if (cursor_ == length_ && !Refill()) return false;
    b = buffer_[cursor_++];
    return true;
  }
  // Exactly `count` bytes, or false (and nothing consumed) when fewer remain.
  bool ReadExact(void* out, std::size_t count);

 private:
  bool Refill();

  TxmlStream& stream_;
  std::int64_t size_;
  std::vector<unsigned char> buffer_;
  std::int64_t start_;  // stream offset of buffer_[0]
  std::size_t length_ = 0;
  std::size_t cursor_ = 0;
};

// Collects output in a buffer and writes it to the stream in large pieces.
// Flush() must be called at the end; a short write raises TxmlError.
class BufferedOutput {
 public:
  explicit BufferedOutput(TxmlStream& stream) : stream_(stream), buffer_(new char[kCapacity]) {}
  BufferedOutput(const BufferedOutput&) = delete;
  BufferedOutput& operator=(const BufferedOutput&) = delete;

  void Put(const void* data, std::size_t count);
  void PutByte(unsigned char b) {
    Reserve(1);
    buffer_[length_++] = static_cast<char>(b);
  }
  void PutUnit(char16_t u) {
    Reserve(2);
    buffer_[length_++] = static_cast<char>(u & 0xFF);
    buffer_[length_++] = static_cast<char>(u >> 8);
  }
  void PutWord(std::uint16_t w) { PutUnit(static_cast<char16_t>(w)); }
  void PutInt32(std::int32_t v);
  // UTF-8 text as UTF-16 little-endian code units; with `escape` "<", ">"
  // and "&" go out as "&lt;", "&gt;" and "&amp;".
  void PutUtf16(std::string_view text, bool escape = false);
  void PutBlanks(int count);
  void Flush();

 private:
  static constexpr std::size_t kCapacity = 1 << 17;
  void Reserve(std::size_t count) {
    if (length_ + count > kCapacity) FlushBuffer();
  }
  void FlushBuffer();

  TxmlStream& stream_;
  std::unique_ptr<char[]> buffer_;
  std::size_t length_ = 0;
};

}  // namespace xmlio
}  // namespace zephron
