// Builds VS_VERSIONINFO blocks, the version resource that the platform's
// resource compiler makes from a VERSIONINFO statement: the fixed file
// information, "StringFileInfo" string tables and the "VarFileInfo\Translation"
// list. The stamping tool embeds such a block into our executables; the tests
// wrap it into PE resource sections. platform/version_info.h reads it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/version_info.h"

namespace zephron::platform {

// One "\StringFileInfo\<language><code page>" table; names and values UTF-8.
struct VersionStringTable {
  std::uint16_t language = 0x0409;
  std::uint16_t codePage = 0x04B0;
  std::vector<std::pair<std::string, std::string>> strings;
};

struct VersionInfoContent {
  std::optional<VS_FIXEDFILEINFO> fixed = VS_FIXEDFILEINFO{};  // none: the root carries no value
  std::vector<VersionStringTable> stringTables;
  // "\VarFileInfo\Translation" entries, each language in the low word and
  // code page in the high word; empty leaves VarFileInfo out.
  std::vector<std::uint32_t> translations;
};

// The block, little-endian, every node aligned to 4 bytes from its start.
// String values count their terminating zero in wValueLength (in characters),
// as the resource compiler writes them. nullopt when the block would not fit
// the 16-bit length of its root (65,535 bytes).
std::optional<std::vector<std::byte>> BuildVersionInfo(const VersionInfoContent& content);

// The usual content for one of our executables: language 0x0409 with code
// page 0x04B0, strings CompanyName, FileDescription, FileVersion, ProductName,
// ProductVersion, and the fixed info holding the same numbers. Versions are
// dotted texts of up to four numbers 0..65535 ("1.0.0.1"); nullopt when one
// is not of that form.
struct StampedVersion {
  std::string fileVersion;
  std::string productVersion;
  std::string productName;
  std::string companyName = "Corvexis";
  std::string fileDescription;
};
std::optional<VersionInfoContent> MakeVersionContent(const StampedVersion& version);

// "1.2.3.4" -> (1<<16|2, 3<<16|4); one to four numbers 0..65535, missing ones 0.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseDottedVersion(const std::string& text);

}  // namespace zephron::platform
