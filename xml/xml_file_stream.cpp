#include "xml/xml_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "xml/xml_error.h"

namespace zephron {

namespace {

std::string SystemMessage(int error) {
  if (error == EWOULDBLOCK) {
    return "The process cannot access the file because it is being used by another process.";
  }
  return std::generic_category().message(error);
}

}  // namespace

TxmlFileStream::TxmlFileStream(const std::string& fileName, Mode mode) {
  if (mode == Mode::OpenRead) {
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw TxmlError("Unable to open file " + fileName + "\r\n" + SystemMessage(errno));
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw TxmlError("Unable to open file " + fileName + "\r\n" + SystemMessage(EISDIR));
    }
    return;
  }
  // The lock is taken before the file is emptied, so a save never wipes a
  // file that another writer holds.
  fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  int error = fd_ < 0 ? errno : 0;
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) error = errno;
  if (error == 0 && ::ftruncate(fd_, 0) != 0) error = errno;
  if (error != 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw TxmlError("Unable to create file " + fileName + "\r\n\r\n" + SystemMessage(error));
  }
}

TxmlFileStream::~TxmlFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TxmlFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

std::size_t TxmlFileStream::Read(void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done,
                              static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
    position_ += n;
  }
  return done;
}

std::size_t TxmlFileStream::Write(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done, count - done,
                               static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
    position_ += n;
  }
  return done;
}

}  // namespace zephron
