// Small file operations the logs and downloads need, as the platform's file
// calls (CreateFileW for append, DeleteFileW, MoveFileW, attributes) provide them.
#pragma once

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

}  // namespace zephron::platform
