// Expansion of one file in the platform's single-file LZ format ("SZDD") in
// its own folder, under the name its header gives, for the engine's downloads
// and the setup program's components.
#pragma once

#include <string>

namespace zephron {

enum class ExpandStatus {
  kExpanded,       // the expanded file is in place and the compressed one is gone
  kNotCompressed,  // not an SZDD file; left as it was
  kFailed,         // unreadable, corrupt or not writable; the compressed file is kept
};

struct ExpandResult {
  ExpandStatus status = ExpandStatus::kFailed;
  std::string expandedPath;  // where the expanded file is (empty unless kExpanded)
};

// Expands path (a compressed "setup.ex_" becomes "setup.exe" beside it, see
// platform::ExpandedName) and then deletes the compressed file. A failed
// expansion deletes nothing and leaves no partial output: the compressed
// file is the only copy of the data. A compressed file whose expanded name is
// its own name is replaced by its expansion.
ExpandResult ExpandCompressedFile(const std::string& path);

}  // namespace zephron
