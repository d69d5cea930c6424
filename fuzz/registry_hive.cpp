// Hive files in the regedit export format as they may lie on disk: decoded,
// parsed, written back, and read through the registry's own calls.
#include "fuzz/fuzz_support.h"
#include "platform/reg_file.h"
#include "platform/registry.h"

#include <cstdlib>

using namespace zephron::platform;
namespace fuzz = zephron::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("ZEPHRON_REGISTRY_DIR", (fuzz::ScratchFolder()).c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  const regfile::Document document = regfile::Parse(regfile::DecodeFileBytes(bytes));
  for (const auto& key : document.keys) {
    for (const auto& entry : key.entries) {
      if (entry.kind == regfile::Entry::Kind::Typed) regfile::DecodeTypedData(entry.data);
    }
  }
  regfile::Parse(regfile::Serialize(document));

  fuzz::WriteScratchFile("HKEY_CURRENT_USER.reg", bytes);
  if (auto key = RegistryKey::Open(Hive::CurrentUser, "Software\\Corvexis")) {
    key->Values();
    key->SubKeyNames();
    key->ReadString("Path");
  }
  ExportKeyText(Hive::CurrentUser, "Software");
  return 0;
}
