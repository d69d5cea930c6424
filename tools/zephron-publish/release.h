// The release folder a publication is made from: every file of the
// installation with its size and the engine's checksum, and the names the
// updater cannot carry to a Windows installation.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zephron::publish {

struct ReleaseFile {
  std::string path;  // relative to the release folder, "/" between folders
  std::uint64_t size = 0;
  std::int32_t checksum = -1;  // the engine's simple checksum
};

// What the window's engine compares (UseCRC32 off): -1 plus every byte,
// wrapping at 32 bits. -1 for a file that cannot be read.
std::int32_t SimpleChecksum(const std::filesystem::path& file);

// Why a name cannot be carried, or nothing: characters Windows refuses in a
// file name, a trailing dot or blank, a device name (CON, NUL, COM1, ...).
std::optional<std::string> UnfitName(const std::string& component);

struct ReleaseScan {
  std::vector<ReleaseFile> files;  // sorted by path
  std::string error;               // empty when the release can be published
};

// Every regular file below folder (symbolic links are followed). Refused:
// unfit names, two names that differ only in case (one file on Windows),
// files of 2 GiB or more (the control file's sizes are 32-bit).
ReleaseScan ScanRelease(const std::filesystem::path& folder);

// Folder part of a release path ("" at the top) and its last part.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
// The path with "\" between folders, as the control file writes paths.
std::string Backslashed(const std::string& path);

}  // namespace zephron::publish
