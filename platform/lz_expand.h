// LZ expansion of files in the platform's single-file compression format
// ("SZDD", written by the compress tool): LZOpenFile, GetExpandedName, LZCopy
// and LZClose. On Windows these are the system's own (lz32.dll); elsewhere a
// decoder of our own (the format is one small LZSS variant; a general
// library's byte-at-a-time output path cost more than the whole decoding)
// with the expanded-name rule below.
//
// Unlike the platform's functions, a file that is not in the SZDD format is
// not passed through as if it were plain: it is reported (kNotCompressed) and
// never touched, so a caller cannot mistake a plain file for an expanded one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zephron::platform {

enum class LzStatus {
  kOk,
  kCannotOpen,      // the file is missing or unreadable
  kNotCompressed,   // readable, but it does not start with the SZDD signature
  kCorrupt,         // an SZDD header or data stream that cannot be decoded completely
  kCannotWrite,     // the expanded file could not be created, written or put in place
};

// An SZDD file opened for reading (LZOpenFileA with OF_READ); closing is the
// destructor (LZClose).
class LzFile {
 public:
  explicit LzFile(std::string path);
  ~LzFile();
  LzFile(LzFile&&) noexcept;
  LzFile& operator=(LzFile&&) noexcept;
  LzFile(const LzFile&) = delete;
  LzFile& operator=(const LzFile&) = delete;

  // kOk when the file is open and its header was read.
  LzStatus status() const { return status_; }
  bool IsOpen() const { return status_ == LzStatus::kOk; }
  const std::string& path() const { return path_; }
  // The last character of the original name as the header stores it; '\0' when none was stored.
  char missingChar() const { return missingChar_; }
  std::uint64_t expandedSize() const { return expandedSize_; }

 private:
  friend LzStatus LZCopy(LzFile& source, const std::string& target);
  struct Decoder;

  std::string path_;
  LzStatus status_ = LzStatus::kCannotOpen;
  char missingChar_ = '\0';
  std::uint64_t expandedSize_ = 0;
  std::unique_ptr<Decoder> decoder_;
};

// The expanded name rule (GetExpandedNameA). It applies to the file-name part
// of the path only; the folder stays:
// - a name ending in "_" has that "_" replaced by the stored character; a
//   stored letter takes the case of the nearest letter before the "_"
//   (setup.ex_ + 'E' -> setup.exe, SETUP.EX_ + 'e' -> SETUP.EXE) and is kept
//   as stored when the name holds no letter;
// - where no character is stored ('\0'), or the stored one cannot be part of a
//   file name (a separator or a control character), the "_" is dropped;
// - a name that does not end in "_" stays as it is;
// - nullopt when the result would be no usable name ("", "." or "..").
std::optional<std::string> ExpandedName(std::string_view compressedPath, char missingChar);

// GetExpandedNameA for an open file; nullopt when it is not open.
std::optional<std::string> GetExpandedName(const LzFile& file);

// Copy with expansion (LZCopy) into target. The data goes to a temporary file
// beside target that replaces target only once the whole stream has been
// decoded to the size the header states, so a failure leaves an existing
// target (and the source, even when it is the target) untouched.
LzStatus LZCopy(LzFile& source, const std::string& target);

}  // namespace zephron::platform
