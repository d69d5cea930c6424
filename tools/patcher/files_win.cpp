// The patcher's file handling on Windows: the same reading and replacement
// as files.cpp, on the C runtime's wide file calls; the finished file goes
// over the old one by platform::MoveFileReplacing, which also replaces a
// read-only file.
#include "tools/patcher/files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/win32_text.h"

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
  const long long length = file ? ::_filelengthi64(::_fileno(file.get())) : -1;
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

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
  // Split as text: a std::filesystem::path made from a std::string reads it
  // in the ANSI code page, not as UTF-8.
  const std::string folder = platform::ExtractFilePath(target);
  const std::string stem = folder + "." + target.substr(folder.size()) + ".patching-";
  std::random_device seed;
  std::mt19937 random(seed());
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  // A name nobody holds: created exclusively, tried again while taken.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string name = stem;
    for (int i = 0; i < 6; ++i) name += kDigits[random() % (sizeof kDigits - 1)];
    fd_ = ::_wopen(platform::win32::WidePath(name).c_str(),
                   _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd_ >= 0) path_ = name;
    else if (errno != EEXIST) break;
  }
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) ::_close(fd_);
  if (!committed_ && !path_.empty()) platform::DeleteFile(path_);
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const unsigned block = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes.size());
    const int n = ::_write(fd_, bytes.data(), block);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ReplacementFile::Commit() {
  if (fd_ < 0) return false;
  if (::_commit(fd_) != 0) return false;
  const int fd = fd_;
  fd_ = -1;
  if (::_close(fd) != 0) return false;
  if (!platform::MoveFileReplacing(path_, target_)) return false;
  committed_ = true;
  return true;
}

}  // namespace zephron::patcher
