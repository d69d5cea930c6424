// What the harnesses share: a scratch folder of the process's own, files
// written into it from the fuzzer's bytes, and a check that aborts (so that
// libFuzzer keeps the input) when a property the code promises does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zephron::fuzz {

// A folder below the system's temporary folder, made once per process and
// removed at exit; always ends in '/'.
const std::string& ScratchFolder();

// Writes bytes to ScratchFolder() + name and returns the path.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);

// Removes everything inside ScratchFolder() + sub (the folder itself stays).
void EmptyFolder(const std::string& folder);

// Every path below folder, relative, sorted; for "nothing escaped" checks.
std::vector<std::string> ListTree(const std::string& folder);

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Prints what failed and aborts.
[[noreturn]] void Fail(const char* what);

}  // namespace zephron::fuzz
