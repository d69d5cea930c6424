#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace zephron::platform {

bool AppendToFile(const std::string& path, std::string_view bytes) {
  // O_APPEND makes each write land at the end even when another process
  // appends to the same log between our lines.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool AppendLine(const std::string& path, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return AppendToFile(path, line);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

bool DeleteFile(const std::string& path) {
  if (!FileExists(path)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool WriteAllToFile(int fd, std::span<const std::byte> bytes) {
  const std::byte* data = bytes.data();
  std::size_t size = bytes.size();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

ssize_t CopyFileBlock(int in, int out, std::span<std::byte> buffer, bool& kernelCopy) {
  while (kernelCopy) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, buffer.size(), 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    // Refused for these files (EXDEV, EINVAL, ENOSYS, EOPNOTSUPP, ...): a
    // real read or write failure shows again below, on the plain path.
    kernelCopy = false;
  }
  ssize_t got = 0;
  do {
    got = ::read(in, buffer.data(), buffer.size());
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return got;
  return WriteAllToFile(out, buffer.first(static_cast<std::size_t>(got))) ? got : -1;
}

namespace {

// Copies from into a new temporary file in folder; its path, or empty.
std::string CopyBeside(const std::string& from, const std::string& folder) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return {};
  struct stat info {};
  std::string path = folder + "ZEPXXXXXX.tmp";
  const int out = ::fstat(in, &info) == 0 ? ::mkostemps(path.data(), 4, O_CLOEXEC) : -1;
  if (out < 0) {
    ::close(in);
    return {};
  }
  // Held while the copy exists, so that a cleaner of stale temporary files leaves it alone.
  ::flock(out, LOCK_EX);
  bool ok = ::fchmod(out, info.st_mode & 07777) == 0;
  std::byte block[65536];
  bool kernelCopy = true;
  while (ok) {
    const ssize_t n = CopyFileBlock(in, out, block, kernelCopy);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
  }
  ok = ok && ::fsync(out) == 0;
  ok = ::close(out) == 0 && ok;
  ::close(in);
  if (!ok) {
    ::unlink(path.c_str());
    return {};
  }
  return path;
}

// Puts what has been written to a file that is to be moved on disk. One
// that cannot be opened moves as it is; only a failed flush (an I/O error)
// keeps it from moving.
bool FlushBeforeMove(const std::string& path) {
  // O_NONBLOCK: a FIFO must not wait for a writer. A file its owner may only
  // write is opened for writing.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  if (DirectoryExists(to)) return false;
  // A file about to be replaced is lost with the rename: what takes its name
  // is on disk first, so that a crash or power cut never leaves the name
  // with an empty or partial file where a whole one was. A new name loses
  // nothing and leaves the writing to the kernel.
  struct stat target {};
  struct stat source {};
  const bool replacing = ::lstat(to.c_str(), &target) == 0;
  // Across file systems the copy beside the target is flushed instead.
  if (!replacing || (::stat(from.c_str(), &source) == 0 && source.st_dev == target.st_dev)) {
    if (replacing && !FlushBeforeMove(from)) return false;
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
  }
  const auto slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : to.substr(0, slash + 1);
  const std::string copy = CopyBeside(from, folder);
  if (copy.empty()) return false;
  if (::rename(copy.c_str(), to.c_str()) != 0) {
    ::unlink(copy.c_str());
    return false;
  }
  ::unlink(from.c_str());
  return true;
}

bool FlushFileSystem(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::syncfs(fd) == 0;
  ::close(fd);
  return ok;
}

std::FILE* OpenRegularFileForReading(const std::string& path) {
  // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) ::close(fd);
  return file;
}

std::int64_t OpenFileSize(std::FILE* file) {
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

}  // namespace zephron::platform
