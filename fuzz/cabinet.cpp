// Cabinets as a server may send them, unpacked into a folder of their own:
// nothing may appear outside that folder, whatever names they store.
#include "archive/cabinet.h"
#include "fuzz/fuzz_support.h"

#include <filesystem>

using namespace zephron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string root = fuzz::ScratchFolder() + "cab/";
  static const std::string target = root + "a/b/";
  std::filesystem::create_directories(target);
  const std::string cabinet = root + "a/in.cab";
  fuzz::WriteScratchFile("cab/a/in.cab", fuzz::Bytes(data, size));
  ExtractCabinet(cabinet, target);
  std::filesystem::remove(cabinet);
  for (const std::string& path : fuzz::ListTree(root)) {
    if (path != "a" && path != "a/b" && !path.starts_with("a/b/")) fuzz::Fail("a cabinet wrote outside its target");
  }
  fuzz::EmptyFolder(target);
  return 0;
}
