// Patches as a server may send them, applied to a fixed base: either the
// result the header promises or the target exactly as it was.
#include "fuzz/fuzz_support.h"
#include "tools/patcher/patch.h"
#include "tools/patcher/patch_format.h"

#include <fstream>
#include <iterator>

using namespace zephron;

namespace {
const std::string kBase = "Tessel Server 4.2 -- the base file of every patch the fuzzer tries.\n";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  patcher::DecodePatchHeader(bytes);
  const std::string patch = fuzz::WriteScratchFile("in.pat", bytes);
  const std::string target = fuzz::WriteScratchFile("target.bin", kBase);
  const patcher::Outcome outcome = patcher::ApplyPatch(patch, target);
  const std::string after = ReadAll(target);
  if (!outcome.ok && after != kBase) fuzz::Fail("a refused patch changed the target");
  if (outcome.ok) {
    const auto header = patcher::DecodePatchHeader(bytes);
    if (!header || after.size() != header->resultSize) fuzz::Fail("an applied patch gave the wrong size");
  }
  return 0;
}
