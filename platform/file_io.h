// Small file operations the logs and downloads need, as the platform's file
// calls (CreateFileW for append, DeleteFileW, MoveFileW, attributes) provide them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace zephron::platform {

// Opens the file for appending (creating it when missing), writes the bytes
// and closes it again, so the file is complete after every call.
bool AppendToFile(const std::string& path, std::string_view bytes);

// AppendToFile of text followed by CR LF.
bool AppendLine(const std::string& path, std::string_view text);

bool FileExists(const std::string& path);        // a file, not a folder
bool DirectoryExists(const std::string& path);
bool DeleteFile(const std::string& path);        // a file only; false for folders and missing files

// Puts from in place of to, which may exist (a file, also a read-only one)
// and is never missing or partly written on the way: a rename that replaces
// it at once, or across file systems a copy to a temporary name beside to,
// flushed to disk, then renamed over it. A file to is replaced only once
// from is on disk, so that a crash or power cut cannot leave to empty or
// partial; a new name is left to the kernel's writing. A failed copy or
// flush leaves to and from as they were. False for a folder in the way.
bool MoveFileReplacing(const std::string& from, const std::string& to);

// Puts everything written to the file system that holds folder on disk:
// once, before what was written there is recorded as done, instead of a
// flush per file. False when that fails. On Windows it needs the right to
// open the volume; without it the system's own writing is left to do it.
bool FlushFileSystem(const std::string& folder);

// Copies the next block of at most buffer.size() bytes from in to out, both
// at their file positions, which advance. While kernelCopy holds the kernel
// copies it (copy_file_range), without the data passing through buffer; when
// it refuses (another file system on an older kernel, a file system or file
// it cannot copy between, ...) kernelCopy is cleared and this and every later
// block go through buffer with read and write. The bytes copied, 0 at the end
// of in, -1 when a read or write failed (errno tells why).
ssize_t CopyFileBlock(int in, int out, std::span<std::byte> buffer, bool& kernelCopy);

// Writes all of bytes to fd (on Windows a C runtime descriptor); false
// (errno set) when a write fails.
bool WriteAllToFile(int fd, std::span<const std::byte> bytes);

// Opens path for binary reading when it is a regular file (links followed);
// nullptr for a missing one and for FIFOs, devices and folders, without ever
// waiting on them.
std::FILE* OpenRegularFileForReading(const std::string& path);

// The size in bytes of the file open as `file`; -1 (errno set) when the
// system cannot tell it.
std::int64_t OpenFileSize(std::FILE* file);

}  // namespace zephron::platform
