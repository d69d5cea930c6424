// The maker's signing key on disk: a key file made once, readable by its
// owner only, that holds the secret key as one line of Base64.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zephron::publish {

// Makes a new key pair and writes its secret key to file, which must not
// exist yet (an existing key is never replaced). The public key (Base64) on
// success, else none with the reason in error.
std::optional<std::string> MakeKeyFile(const std::filesystem::path& file, std::string& error);

// The secret key of a key file; none with the reason in error.
std::optional<std::string> ReadKeyFile(const std::filesystem::path& file, std::string& error);

}  // namespace zephron::publish
