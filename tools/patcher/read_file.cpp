// Reading a whole file within the size bound, the same on every system.
#include "tools/patcher/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/file_io.h"

namespace zephron::patcher {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string SizeText(std::uint64_t size) { return std::to_string(size) + " bytes"; }

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::uint64_t limit) {
  ReadResult result;
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(platform::OpenRegularFileForReading(path));
  const std::int64_t length = file ? platform::OpenFileSize(file.get()) : -1;
  if (length < 0) {
    result.error = "cannot read " + path + ": " + (errno ? std::strerror(errno) : "not a regular file");
    return result;
  }
  const auto size = static_cast<std::uint64_t>(length);
  if (size > limit) {
    result.error = path + " has " + SizeText(size) + ", more than the " + SizeText(limit) + " a patch may cover";
    return result;
  }
  result.bytes.resize(static_cast<std::size_t>(size));
  const std::size_t got = std::fread(result.bytes.data(), 1, result.bytes.size(), file.get());
  // A file that changes while it is read is not the file that was measured.
  if (got != result.bytes.size() || std::fgetc(file.get()) != EOF) {
    result.bytes.clear();
    result.error = "cannot read " + path + " whole";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace zephron::patcher
