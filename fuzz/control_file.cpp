// The update control file as a server may send it: the profile reader and
// every section reader, with the engine's own prefix expansion.
#include <algorithm>
#include <cstdlib>

#include "engine/control_file.h"
#include "engine/zephron.h"
#include "fuzz/fuzz_support.h"
#include "platform/profile.h"

using namespace zephron;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Prefixes such as {APP} and {LAD} read the registry and special folders:
  // keep them inside the scratch folder.
  setenv("ZEPHRON_REGISTRY_DIR", (fuzz::ScratchFolder() + "registry").c_str(), 1);
  setenv("HOME", fuzz::ScratchFolder().c_str(), 1);
  setenv("XDG_DATA_HOME", (fuzz::ScratchFolder() + "data").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TZephron engine;
  const auto file = platform::ProfileFile::FromBytes(std::string(fuzz::Bytes(data, size)));
  const PrefixExpander expand = EngineExpander(engine);
  try {
    ReadUpdateSection(file, expand);
    ReadApplicationSection(file, expand);
    ReadActionSection(file, expand);
    ReadCustomSection(file);
    ReadWhatsNewSection(file, "0409");
    ReadEulaSection(file, "0409");
    // Entries are read one by one so that a hostile count costs no memory here.
    const std::int32_t count = ReadFileCount(file);
    if (count < 0 || count > kMaxFileEntries) fuzz::Fail("file count out of bounds");
    for (std::int32_t i = 1; i <= std::min<std::int32_t>(count, 64); ++i) {
      const TFileDescription entry = ReadFileEntry(file, i, expand);
      if (!entry.TargetDir.empty() && entry.TargetDir.back() != '/') fuzz::Fail("targetdir without '/'");
    }
    // The limit counts characters: bytes read as Windows-1252 grow in UTF-8.
    for (const char* key : {"signature", "date", "newsize", "newchecksum"}) {
      const std::string value = ReadValue(file, "update", key, "");
      const auto characters = std::count_if(value.begin(), value.end(),
                                            [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
      if (static_cast<std::size_t>(characters) > kMaxValueLength) fuzz::Fail("value longer than the limit");
    }
    file.ReadInteger("files", "count", 0);
    file.ReadBool("application", "appupdate", false);
  } catch (const EngineError&) {
    // {LAD} without a local application-data folder: the engine's own error.
  }
  return 0;
}
