// Version resources of executables: GetFileVersionInfoSizeW,
// GetFileVersionInfoW and VerQueryValueW.
//
// The version information is the standard VS_VERSIONINFO block. On Windows
// the system's version library reads it; elsewhere it is found
// - in PE executables (PE32 and PE32+): the first RT_VERSION (16) resource of
//   the .rsrc data directory (name 1 preferred, then the first; language
//   neutral, then 0x0409, then the first), as the platform's loader finds it;
// - in ELF executables: the contents of the section named ".zephron.version"
//   (kVersionSectionName), which holds the same block byte for byte; our
//   stamping tool (tools/zephron-stamp) adds it.
//
// Files are read by seeking to the headers and the block only; every offset is
// checked against the file, and a malformed or truncated file simply has no
// version information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephron::platform {

inline constexpr const char* kVersionSectionName = ".zephron.version";
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// VS_FIXEDFILEINFO with its field names; 13 little-endian DWORDs (52 bytes).
struct VS_FIXEDFILEINFO {
  std::uint32_t dwSignature = kFixedFileInfoSignature;
  std::uint32_t dwStrucVersion = 0x00010000;
  std::uint32_t dwFileVersionMS = 0;
  std::uint32_t dwFileVersionLS = 0;
  std::uint32_t dwProductVersionMS = 0;
  std::uint32_t dwProductVersionLS = 0;
  std::uint32_t dwFileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
  std::uint32_t dwFileFlags = 0;
  std::uint32_t dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
  std::uint32_t dwFileType = 1;         // VFT_APP
  std::uint32_t dwFileSubtype = 0;
  std::uint32_t dwFileDateMS = 0;
  std::uint32_t dwFileDateLS = 0;
};
inline constexpr std::size_t kFixedFileInfoSize = 13 * 4;

// Size in bytes of the file's version information block; 0 when the file has
// none (missing, unreadable, not PE/ELF, no resource, malformed block).
std::uint32_t GetFileVersionInfoSize(const std::string& path);

// The block itself, or nullopt as above. Its root node ("VS_VERSION_INFO")
// has been checked to lie within the block.
std::optional<std::vector<std::byte>> GetFileVersionInfo(const std::string& path);

// A value found by VerQueryValue: a view into the block.
struct VerValue {
  std::span<const std::byte> data;  // the value's bytes (text: UTF-16LE, terminating zero included)
  std::uint32_t length = 0;         // as the platform reports it: characters with the zero for text, else bytes
  bool text = false;
};

// Looks a sub-block up by path: "\" is the root's value (the fixed file info),
// "\VarFileInfo\Translation" the translation DWORDs,
// "\StringFileInfo\040904B0\FileVersion" a string. Keys compare without regard
// to ASCII case; empty path parts are skipped. nullopt when the path names no
// node or the node is malformed; a node without value gives length 0.
std::optional<VerValue> VerQueryValue(std::span<const std::byte> block, std::string_view subBlock);

// Helpers for the values above.
// The text of a text value in UTF-8, up to its terminating zero (or its end).
std::string VerValueText(const VerValue& value);
// The value as little-endian DWORDs (a partial last DWORD is dropped).
std::vector<std::uint32_t> VerValueDwords(const VerValue& value);
// The fixed file info of the "\" value; nullopt when the value is shorter than 52 bytes.
std::optional<VS_FIXEDFILEINFO> VerValueFixedFileInfo(const VerValue& value);

}  // namespace zephron::platform
