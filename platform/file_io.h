// Small file operations the logs and downloads need, as the platform's file
// calls (CreateFileW for append, DeleteFileW, MoveFileW, attributes) provide them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

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
// flushed to disk, then renamed over it. A failed copy is removed again and
// leaves to and from as they were. False for a folder in the way.
bool MoveFileReplacing(const std::string& from, const std::string& to);

// Opens path for binary reading when it is a regular file (links followed);
// nullptr for a missing one and for FIFOs, devices and folders, without ever
// waiting on them.
std::FILE* OpenRegularFileForReading(const std::string& path);

}  // namespace zephron::platform
