// Version resources of executables (PE and ELF) as downloaded files hold
// them, and the block reader on its own.
#include "fuzz/fuzz_support.h"
#include "platform/version_info.h"

using namespace zephron;

namespace {
void Query(std::span<const std::byte> block) {
  for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\FileVersion",
                           "\\StringFileInfo\\040904B0\\ProductName", "\\StringFileInfo"}) {
    const auto value = platform::VerQueryValue(block, path);
    if (!value) continue;
    if (value->data.data() < block.data() || value->data.data() + value->data.size() > block.data() + block.size()) {
      fuzz::Fail("a value outside its block");
    }
    platform::VerValueText(*value);
    platform::VerValueDwords(*value);
    platform::VerValueFixedFileInfo(*value);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteScratchFile("program.exe", fuzz::Bytes(data, size));
  const std::uint32_t blockSize = platform::GetFileVersionInfoSize(path);
  const auto block = platform::GetFileVersionInfo(path);
  if ((blockSize == 0) != !block) fuzz::Fail("size and block disagree");
  if (block) {
    if (block->size() != blockSize) fuzz::Fail("block of another size than announced");
    Query(*block);
  }
  Query(std::as_bytes(std::span(data, size)));
  return 0;
}
