#include "platform/lz_mspack_io.h"

#include <fcntl.h>
#include <mspack.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "platform/file_io.h"

namespace zephron::platform {
namespace {

// What a libmspack file handle stands for; libmspack only passes the pointer
// back (its own mspack_file is a placeholder type).
constexpr std::size_t kWriteBuffer = 1 << 16;

struct OpenFile {
  int fd = -1;
  // libmspack's LZSS decoder writes one byte per call; collecting writes here
  // turns those into one system call per kWriteBuffer bytes, and a byte
  // costs no more than a store.
  std::unique_ptr<char[]> pending;
  std::size_t used = 0;
};

OpenFile* Handle(mspack_file* file) { return reinterpret_cast<OpenFile*>(file); }
int Fd(mspack_file* file) { return Handle(file)->fd; }

// Writes out what is collected; every operation that looks at the file
// position or ends the handle does this first.
bool Flush(mspack_file* file) {
  OpenFile* open = Handle(file);
  if (open->used == 0) return true;
  const bool ok = WriteAllToFile(open->fd, std::as_bytes(std::span(open->pending.get(), open->used)));
  open->used = 0;
  return ok;
}

mspack_file* Open(mspack_system*, const char* filename, int mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case MSPACK_SYS_OPEN_READ: flags |= O_RDONLY; break;
    case MSPACK_SYS_OPEN_WRITE: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case MSPACK_SYS_OPEN_UPDATE: flags |= O_RDWR; break;
    case MSPACK_SYS_OPEN_APPEND: flags |= O_RDWR | O_APPEND; break;
    default: return nullptr;
  }
  if (filename == nullptr) return nullptr;
  int fd;
  do {
    fd = ::open(filename, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  auto file = std::make_unique<OpenFile>();
  file->fd = fd;
  return reinterpret_cast<mspack_file*>(file.release());  // owned by libmspack until Close
}

// close() cannot report a failure to libmspack; a write lost here shows as a
// short output file, which every caller checks against the size it expects.
void Close(mspack_file* file) {
  if (file == nullptr) return;
  Flush(file);
  const std::unique_ptr<OpenFile> owned(Handle(file));
  ::close(owned->fd);
}

// libmspack takes a short read for the end of the file, so read until the
// count is reached or the file really ends.
int Read(mspack_file* file, void* buffer, int bytes) {
  if (file == nullptr || bytes < 0 || !Flush(file)) return -1;
  auto* out = static_cast<char*>(buffer);
  int done = 0;
  while (done < bytes) {
    const ssize_t n = ::read(Fd(file), out + done, static_cast<size_t>(bytes - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

int Write(mspack_file* file, void* buffer, int bytes) {
  if (file == nullptr || bytes < 0) return -1;
  OpenFile* open = Handle(file);
  const auto* in = static_cast<const char*>(buffer);
  const auto size = static_cast<std::size_t>(bytes);
  if (open->used + size > kWriteBuffer && !Flush(file)) return -1;
  if (size >= kWriteBuffer) return WriteAllToFile(open->fd, std::as_bytes(std::span(in, size))) ? bytes : -1;
  if (!open->pending) open->pending = std::make_unique<char[]>(kWriteBuffer);
  if (size == 1) {
    open->pending[open->used++] = *in;
  } else {
    std::memcpy(open->pending.get() + open->used, in, size);
    open->used += size;
  }
  return bytes;
}

int Seek(mspack_file* file, off_t offset, int mode) {
  if (file == nullptr || !Flush(file)) return -1;
  int whence;
  switch (mode) {
    case MSPACK_SYS_SEEK_START: whence = SEEK_SET; break;
    case MSPACK_SYS_SEEK_CUR: whence = SEEK_CUR; break;
    case MSPACK_SYS_SEEK_END: whence = SEEK_END; break;
    default: return -1;
  }
  return ::lseek(Fd(file), offset, whence) < 0 ? -1 : 0;
}

off_t Tell(mspack_file* file) {
  if (file == nullptr || !Flush(file)) return -1;
  return ::lseek(Fd(file), 0, SEEK_CUR);
}

// The library's remarks (e.g. "cabinet set is incomplete") are for a human at
// a console; the callers report failures through their own result codes.
void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void Free(void* memory) { std::free(memory); }
void Copy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

mspack_system g_system{Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};

}  // namespace

mspack_system* MspackFileSystem() { return &g_system; }

}  // namespace zephron::platform
