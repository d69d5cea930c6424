// The forms in which a release file travels: a compressed file (SZDD), a
// cabinet (written with libgcab) and a patch against the previous release.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zephron::publish {

// The compressed name of name ("data.txt" -> "data.tx_") when expanding it
// gives name back exactly; nothing otherwise.
std::optional<std::string> CompressedName(const std::string& name);
// Writes the SZDD form of input to output; false on failure.
bool WriteCompressed(const std::filesystem::path& input, const std::filesystem::path& output);

// One member of a cabinet: the file and its stored name ("\" between folders).
using CabinetMember = std::pair<std::filesystem::path, std::string>;
// Writes a cabinet of one MSZIP folder; the error text, empty on success.
std::string WriteCabinet(const std::vector<CabinetMember>& members, const std::filesystem::path& output);

// Writes a patch from oldFile to newFile; the error text, empty on success.
std::string WritePatch(const std::filesystem::path& oldFile, const std::filesystem::path& newFile,
                       const std::filesystem::path& output);

}  // namespace zephron::publish
