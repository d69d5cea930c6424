// SZDD files as a server may send them, expanded in place as the engine
// does: a failure keeps the compressed file and leaves nothing else.
#include "archive/expand_compressed_file.h"
#include "fuzz/fuzz_support.h"

#include <filesystem>

using namespace zephron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = fuzz::ScratchFolder() + "szdd/";
  std::filesystem::create_directories(folder);
  const std::string path = fuzz::WriteScratchFile("szdd/setup.ex_", fuzz::Bytes(data, size));
  const ExpandResult result = ExpandCompressedFile(path);
  const std::vector<std::string> tree = fuzz::ListTree(folder);
  const std::vector<std::string> input{"setup.ex_"};
  if (result.status != ExpandStatus::kExpanded) {
    if (tree != input) fuzz::Fail("a failed expansion left files behind or lost the input");
  } else if (tree.size() != 1) {
    fuzz::Fail("an expansion left more than its result");
  }
  fuzz::EmptyFolder(folder);
  return 0;
}
