#include "tools/patcher/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
  struct stat info {};
  if (!file || ::fstat(::fileno(file.get()), &info) != 0) {
    result.error = "cannot read " + path + ": " + (errno ? std::strerror(errno) : "not a regular file");
    return result;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
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
  const std::filesystem::path where(target);
  const std::string folder = where.has_parent_path() ? where.parent_path().string() + "/" : std::string();
  path_ = folder + "." + where.filename().string() + ".patching-XXXXXX";
  fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
  if (fd_ < 0) path_.clear();
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
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
  struct stat info {};
  if (::stat(target_.c_str(), &info) == 0) {
    if (::fchmod(fd_, info.st_mode & 07777) != 0) return false;
    // Only root may give a file away; for others the owner is theirs anyway.
    if (::fchown(fd_, info.st_uid, info.st_gid) != 0 && errno != EPERM) return false;
  } else {
    // A new file gets the mode an ordinary creation would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) return false;
  }
  if (::fsync(fd_) != 0) return false;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return false;
  if (::rename(path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

}  // namespace zephron::patcher
