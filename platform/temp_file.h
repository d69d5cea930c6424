// The download's temporary files: "ZEP" + a hexadecimal number + ".tmp" in
// the download folder (as GetTempFileNameW makes them with the prefix "ZEPH"
// and unique number 0), and the removal of the ones a killed process left.
//
// A temporary file holds an exclusive lock from its creation until it is
// closed (flock; on Windows a share mode that lets no one else write or
// delete it), so that a cleaner can tell a file still being written from an
// abandoned one: it removes only files it gets hold of exclusively at once.
//
// A file that is to replace an existing one is flushed to disk before the
// rename (MoveFileReplacing). On Linux what a file is written can be handed
// to the disk in windows of a few MiB while it grows: then a flush waits for
// the last window only, not for the whole file, and a large file leaves the
// page cache behind it. That suits a file written no faster than the disk
// takes it (a download) and one that will be flushed; a file written faster
// is held to the disk's speed by it, and is better left to the kernel's
// writing, as any program's output is.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>

namespace zephron::platform {

class TempFile {
 public:
  // A new, empty file in folder ("" or a path ending in '/'), created
  // exclusively; writeBack hands it to the disk while it grows. Writes go
  // straight to the file: a caller that writes small pieces gathers them
  // first.
  static std::optional<TempFile> Create(const std::string& folder, bool writeBack = false);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  // Removes the file unless it was released.
  ~TempFile();

  const std::string& path() const { return path_; }
  // False (errno set) when not all of bytes could be written.
  bool Write(std::span<const std::byte> bytes);
  // Sets aside room on disk for a file that will be bytes long, so that its
  // writes need not find room block by block; the size stays what has been
  // written, and room left over is given back on closing. Only a hint: a
  // file system without it, or without the room, leaves it to the writes.
  void Reserve(std::int64_t bytes);
  // Appends the next block of at most buffer.size() bytes of the file open
  // as in (unbuffered; the first call starts at its position), as
  // platform::CopyFileBlock does: the bytes copied, 0 at the end of in, -1
  // on failure. On Linux, while kernelCopy holds, the blocks are written
  // straight from in's pages in the page cache, mapped into memory, which
  // costs the kernel less per block than a copy between the files. Windows
  // has no kernel copy: it clears kernelCopy and goes through buffer.
  ssize_t CopyFrom(std::FILE* in, std::span<std::byte> buffer, bool& kernelCopy);
  // Closes the file (and with it the lock); false when that reports a
  // failed write.
  bool Close();
  // Deletes it now; false when that fails.
  bool Delete();
  // It has been moved onto its target: nothing to clean up any more.
  void Release() { kept_ = true; }

 private:
#ifdef _WIN32
  using Handle = void*;  // a HANDLE
  static constexpr Handle kNoFile = nullptr;
#else
  using Handle = int;  // a file descriptor
  static constexpr Handle kNoFile = -1;
#endif
  TempFile(std::string path, Handle file, bool writeBack)
      : path_(std::move(path)), file_(file), writeBack_(writeBack) {}
  // Counts bytes appended and starts the disk writes of each full window.
  void Appended(std::size_t bytes);
#ifndef _WIN32
  // The next block of a mapped source, when there is one.
  std::optional<ssize_t> CopyMapped(int in, std::size_t block);
  void Unmap();
#endif

  std::string path_;
  Handle file_ = kNoFile;
  bool kept_ = false;
  bool writeBack_ = false;    // hands the disk its windows while it grows
  std::int64_t written_ = 0;  // bytes appended so far
  std::int64_t queued_ = 0;   // bytes whose disk writes have been started
  std::int64_t reserved_ = 0; // room set aside on disk
#ifndef _WIN32
  // The source of CopyFrom, mapped whole at its first block and read in
  // windows.
  struct MappedSource {
    int fd = -1;                    // the file mapped; -1 before the first block
    const std::byte* bytes = nullptr;  // nullptr when it could not be mapped
    std::size_t size = 0;
    std::size_t at = 0;             // the next byte to copy
    std::size_t loaded = 0;         // the pages before this have been read in
  };
  MappedSource source_;
#endif
};

// Removes the temporary files of ours in folder that are older than maxAge
// and held by no live process; the number removed.
int RemoveStaleTempFiles(const std::string& folder, std::chrono::seconds maxAge);

}  // namespace zephron::platform
