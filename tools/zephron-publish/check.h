// Reading a publication back as the engine would: every file entry whose
// published file is missing or does not unpack to the size and checksum the
// entry announces, and every line of the control file that the engine's
// reader takes otherwise than it is written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zephron::publish {

// The problems found, one line each; empty for a sound publication.
std::vector<std::string> CheckPublication(const std::filesystem::path& location, const std::string& product);

}  // namespace zephron::publish
