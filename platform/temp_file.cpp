#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file_io.h"

namespace zephron::platform {

namespace fs = std::filesystem;

namespace {

// The size of the windows handed to the disk while a file is written.
constexpr std::int64_t kWritebackWindow = std::int64_t{8} << 20;
// A mapped source is read into the page cache this much at a time, ahead of
// the blocks copied from it, instead of a page fault per page.
constexpr std::size_t kLoadWindow = std::size_t{2} << 20;

}  // namespace

std::optional<TempFile> TempFile::Create(const std::string& folder, bool writeBack) {
  const auto ticks = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  unsigned number = (ticks & 0xFFFFu) == 0 ? 1 : (ticks & 0xFFFFu);
  for (unsigned attempt = 0; attempt < 0xFFFFu; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "ZEP%X.tmp", number);
    const std::string path = folder + name;
    // O_EXCL: the name must be new, as the platform call guarantees.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX);
      return TempFile(path, fd, writeBack);
    }
    if (errno != EEXIST) return std::nullopt;
    number = number == 0xFFFFu ? 1 : number + 1;
  }
  return std::nullopt;
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)),
      file_(std::exchange(other.file_, kNoFile)),
      kept_(std::exchange(other.kept_, true)),
      writeBack_(other.writeBack_),
      written_(other.written_),
      queued_(other.queued_),
      reserved_(other.reserved_),
      source_(std::exchange(other.source_, {})) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (file_ >= 0) ::close(file_);
    if (!path_.empty() && !kept_) DeleteFile(path_);
    path_ = std::move(other.path_);
    file_ = std::exchange(other.file_, kNoFile);
    kept_ = std::exchange(other.kept_, true);
    writeBack_ = other.writeBack_;
    written_ = other.written_;
    queued_ = other.queued_;
    reserved_ = other.reserved_;
    Unmap();
    source_ = std::exchange(other.source_, {});
  }
  return *this;
}

TempFile::~TempFile() {
  Unmap();
  if (file_ >= 0) ::close(file_);
  file_ = kNoFile;
  if (!path_.empty() && !kept_) DeleteFile(path_);
}

bool TempFile::Write(std::span<const std::byte> bytes) {
  if (file_ < 0) {
    errno = EBADF;
    return false;
  }
  if (!WriteAllToFile(file_, bytes)) return false;
  Appended(bytes.size());
  return true;
}

void TempFile::Reserve(std::int64_t bytes) {
  if (file_ < 0 || bytes <= written_) return;
  // Even a refusal may have set some room aside, which closing gives back.
  ::fallocate(file_, FALLOC_FL_KEEP_SIZE, written_, bytes - written_);
  reserved_ = bytes;
}

ssize_t TempFile::CopyFrom(std::FILE* in, std::span<std::byte> buffer, bool& kernelCopy) {
  if (file_ < 0) {
    errno = EBADF;
    return -1;
  }
  std::optional<ssize_t> copied;
  if (kernelCopy) copied = CopyMapped(::fileno(in), buffer.size());
  if (!copied) copied = CopyFileBlock(::fileno(in), file_, buffer, kernelCopy);
  if (*copied > 0) Appended(static_cast<std::size_t>(*copied));
  return *copied;
}

std::optional<ssize_t> TempFile::CopyMapped(int in, std::size_t block) {
  if (source_.fd == -1) {
    source_.fd = in;
    struct stat info {};
    const off_t at = ::lseek(in, 0, SEEK_CUR);
    if (at < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= at) return std::nullopt;
    void* bytes = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, in, 0);
    if (bytes == MAP_FAILED) return std::nullopt;
    source_.bytes = static_cast<const std::byte*>(bytes);
    source_.size = static_cast<std::size_t>(info.st_size);
    source_.at = source_.loaded = static_cast<std::size_t>(at);
  }
  // Past the end of the mapping (a file that grew since) the copy goes on
  // between the files, from where the mapping ended.
  if (!source_.bytes || in != source_.fd) return std::nullopt;
  if (source_.at >= source_.size) {
    if (::lseek(in, static_cast<off_t>(source_.size), SEEK_SET) < 0) return -1;
    Unmap();
    source_.fd = in;
    return std::nullopt;
  }
  const std::size_t n = std::min(block, source_.size - source_.at);
  if (source_.at + n > source_.loaded) {
    auto* const bytes = const_cast<std::byte*>(source_.bytes);
    // Only a hint: a kernel without it faults the pages in one by one.
    const std::size_t from = source_.loaded & ~std::size_t{0xFFF};
    const std::size_t to = std::min(source_.size, source_.loaded + kLoadWindow);
    ::madvise(bytes + from, to - from, MADV_POPULATE_READ);
    source_.loaded = to;
    // The window two back leaves the process's memory (its pages stay in
    // the page cache), so that the mapping of a large file does not make
    // the process as large as the file.
    if (from >= 2 * kLoadWindow) ::madvise(bytes + from - 2 * kLoadWindow, kLoadWindow, MADV_DONTNEED);
  }
  // A source cut short while it is copied makes the write fail (EFAULT)
  // rather than the process: the mapping is only ever read by the kernel.
  if (!WriteAllToFile(file_, std::span(source_.bytes + source_.at, n))) return -1;
  source_.at += n;
  return static_cast<ssize_t>(n);
}

void TempFile::Unmap() {
  if (source_.bytes) ::munmap(const_cast<std::byte*>(source_.bytes), source_.size);
  source_ = {};
}

void TempFile::Appended(std::size_t bytes) {
  written_ += static_cast<std::int64_t>(bytes);
  if (!writeBack_ || written_ - queued_ < kWritebackWindow) return;
  // Only starts the writes; a file system without it leaves all to the flush.
  ::sync_file_range(file_, queued_, written_ - queued_, SYNC_FILE_RANGE_WRITE);
  // A large file leaves the page cache behind it as its windows reach the
  // disk (pages still being written stay, and go at a later window): it
  // does not push the rest of the machine out of memory, and its next
  // windows reuse pages just freed, which a virtual machine that returns
  // free memory to its host has not yet given back. A file smaller than five
  // windows stays whole in the cache, for whatever reads it next.
  if (queued_ >= 4 * kWritebackWindow) {
    ::posix_fadvise(file_, 0, queued_ - 2 * kWritebackWindow, POSIX_FADV_DONTNEED);
  }
  queued_ = written_;
}

bool TempFile::Close() {
  Unmap();
  if (file_ < 0) return true;
  // A file that came out shorter than the room set aside gives the rest back.
  if (reserved_ > written_) ::ftruncate(file_, written_);
  return ::close(std::exchange(file_, kNoFile)) == 0;
}

bool TempFile::Delete() {
  Close();
  kept_ = true;
  return DeleteFile(path_) || !fs::exists(fs::symlink_status(path_));
}

int RemoveStaleTempFiles(const std::string& folder, std::chrono::seconds maxAge) {
  std::error_code ec;
  const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
  const auto oldest = fs::file_time_type::clock::now() - maxAge;
  int removed = 0;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 8 || name.compare(0, 3, "ZEP") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0) continue;
    std::error_code fileEc;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), fileEc))) continue;
    const auto written = fs::last_write_time(it->path(), fileEc);
    if (fileEc || written > oldest) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    // A live writer holds the lock; a killed one's lock went with it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(it->path().c_str()) == 0) ++removed;
    ::close(fd);
  }
  return removed;
}

}  // namespace zephron::platform
