// Making and applying our patches (the layout is in patch_format.h). Both
// report what they did as a few lines of text, and a failure as one line;
// a failed apply leaves the target exactly as it was.
#pragma once

#include <string>
#include <vector>

namespace zephron::patcher {

struct Outcome {
  bool ok = false;
  std::string error;               // one line, when !ok
  std::vector<std::string> notes;  // what was done, for the verbose report
};

// Writes to patchPath a patch that turns the file oldPath into newPath.
Outcome MakePatch(const std::string& oldPath, const std::string& newPath, const std::string& patchPath);

// Applies the patch to target in place (to the file it leads to, for a
// symbolic link). Refused, with target untouched: a patch made for another
// file (size or CRC-32 differs), a damaged or truncated patch, a result of
// the wrong size or CRC-32, a file over the size bound.
Outcome ApplyPatch(const std::string& patchPath, const std::string& target);

}  // namespace zephron::patcher
