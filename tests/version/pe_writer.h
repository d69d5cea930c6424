// Minimal PE32 and PE32+ executables with a resource section, for tests of the
// version resource reader: DOS header, PE headers, a one-instruction .text
// section and a .rsrc section whose resource directory tree (type, name,
// language) leads to the resources given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zephron::test {

struct PeResource {
  std::string typeName;  // a named type when not empty, else typeId
  std::uint16_t typeId = 16;
  std::string name;      // a named resource when not empty, else nameId
  std::uint16_t nameId = 1;
  std::uint16_t language = 0x0409;
  std::vector<std::byte> data;
};

struct PeOptions {
  bool pe32plus = false;
  bool resourceSection = true;  // false: no .rsrc and an empty resource directory entry
  std::vector<PeResource> resources;
};

// The file's bytes.
std::string MakePe(const PeOptions& options);

// The usual layout: a named "PNG" resource and an icon (type 3) before the
// version resource (type 16, name 1, language 0x0409) holding `versionBlock`.
PeOptions TypicalPe(std::vector<std::byte> versionBlock, bool pe32plus);

}  // namespace zephron::test
