// The file handling of the patcher: whole files read within a size bound,
// and a new file written beside the one it replaces, put in its place by one
// rename only when the writer says it is complete, else removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zephron::patcher {

struct ReadResult {
  bool ok = false;
  std::string bytes;
  std::string error;  // why not, when !ok
};

// The contents of a regular file of at most limit bytes; the size is the
// file's own, never one announced elsewhere.
ReadResult ReadWholeFile(const std::string& path, std::uint64_t limit);

// A temporary file in the folder of target, removed on destruction unless
// Commit renamed it over target.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  bool Write(std::string_view bytes);
  // Gives the file the permission bits (and, where allowed, the owner) of
  // the file it replaces, flushes it to disk and renames it over target.
  bool Commit();

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace zephron::patcher
