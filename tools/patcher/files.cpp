#include "tools/patcher/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <span>

#include "platform/file_io.h"

namespace zephron::patcher {

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
  return platform::WriteAllToFile(fd_, std::as_bytes(std::span(bytes.data(), bytes.size())));
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
