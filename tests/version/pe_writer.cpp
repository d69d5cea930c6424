#include "tests/version/pe_writer.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace zephron::test {

namespace {

class Bytes {
 public:
  std::size_t size() const { return data_.size(); }
  void U8(std::uint32_t v) { data_.push_back(static_cast<char>(v & 0xFF)); }
  void U16(std::uint32_t v) {
    U8(v);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Raw(std::string_view text) { data_.append(text); }
  void Raw(const std::vector<std::byte>& bytes) {
    for (auto b : bytes) U8(std::to_integer<std::uint32_t>(b));
  }
  void PadTo(std::size_t size) {
    if (data_.size() < size) data_.resize(size, '\0');
  }
  void Align(std::size_t alignment) { PadTo((data_.size() + alignment - 1) / alignment * alignment); }
  void Put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  std::string& str() { return data_; }

 private:
  std::string data_;
};

// A directory level: entries keyed (named?, name, id), named ones first as
// the format requires, then ids ascending.
using Key = std::tuple<bool, std::string, std::uint16_t>;
Key TypeKey(const PeResource& r) { return {r.typeName.empty(), r.typeName, r.typeId}; }
Key NameKey(const PeResource& r) { return {r.name.empty(), r.name, r.nameId}; }

struct Tree {
  std::map<Key, std::map<Key, std::map<std::uint16_t, const PeResource*>>> types;
};

// The .rsrc section's bytes, for the section at `rva`.
std::string BuildResources(const std::vector<PeResource>& resources, std::uint32_t rva) {
  Tree tree;
  for (const auto& r : resources) tree.types[TypeKey(r)][NameKey(r)][r.language] = &r;

  Bytes out;
  std::vector<std::pair<std::size_t, std::string>> namePatches;      // entry position, name
  std::vector<std::pair<std::size_t, const PeResource*>> leafPatches;  // entry position, resource

  auto directory = [&out](std::size_t named, std::size_t ids) {
    out.U32(0);  // Characteristics
    out.U32(0);  // TimeDateStamp
    out.U16(4);  // MajorVersion
    out.U16(0);
    out.U16(static_cast<std::uint32_t>(named));
    out.U16(static_cast<std::uint32_t>(ids));
  };
  auto entry = [&](const Key& key) {
    const std::size_t at = out.size();
    if (std::get<0>(key)) {
      out.U32(std::get<2>(key));
    } else {
      namePatches.emplace_back(at, std::get<1>(key));
      out.U32(0);
    }
    out.U32(0);  // patched below
    return at;
  };
  auto countNamed = [](const auto& level) {
    return static_cast<std::size_t>(std::count_if(level.begin(), level.end(), [](const auto& kv) { return !std::get<0>(kv.first); }));
  };

  directory(countNamed(tree.types), tree.types.size() - countNamed(tree.types));
  std::vector<std::size_t> typeEntries;
  for (const auto& [key, names] : tree.types) typeEntries.push_back(entry(key));
  std::size_t t = 0;
  for (const auto& [typeKey, names] : tree.types) {
    out.Put32(typeEntries[t++] + 4, 0x80000000u | static_cast<std::uint32_t>(out.size()));
    directory(countNamed(names), names.size() - countNamed(names));
    std::vector<std::size_t> nameEntries;
    for (const auto& [key, languages] : names) nameEntries.push_back(entry(key));
    std::size_t n = 0;
    for (const auto& [nameKey, languages] : names) {
      out.Put32(nameEntries[n++] + 4, 0x80000000u | static_cast<std::uint32_t>(out.size()));
      directory(0, languages.size());
      for (const auto& [language, resource] : languages) {
        leafPatches.emplace_back(out.size(), resource);
        out.U32(language);
        out.U32(0);
      }
    }
  }
  std::vector<std::pair<std::size_t, const PeResource*>> dataPatches;  // data entry position
  for (const auto& [at, resource] : leafPatches) {
    out.Align(4);
    out.Put32(at + 4, static_cast<std::uint32_t>(out.size()));
    dataPatches.emplace_back(out.size(), resource);
    out.U32(0);  // OffsetToData (an RVA)
    out.U32(static_cast<std::uint32_t>(resource->data.size()));
    out.U32(0);  // CodePage
    out.U32(0);
  }
  for (const auto& [at, name] : namePatches) {
    out.Align(2);
    out.Put32(at, 0x80000000u | static_cast<std::uint32_t>(out.size()));
    out.U16(static_cast<std::uint32_t>(name.size()));
    for (const char c : name) out.U16(static_cast<unsigned char>(c));
  }
  for (const auto& [at, resource] : dataPatches) {
    out.Align(8);
    out.Put32(at, rva + static_cast<std::uint32_t>(out.size()));
    out.Raw(resource->data);
  }
  return out.str();
}

}  // namespace

std::string MakePe(const PeOptions& options) {
  constexpr std::uint32_t kFileAlignment = 0x200;
  constexpr std::uint32_t kSectionAlignment = 0x1000;
  constexpr std::uint32_t kPeOffset = 0x80;
  constexpr std::uint32_t kTextRva = 0x1000;
  constexpr std::uint32_t kRsrcRva = 0x2000;
  const bool plus = options.pe32plus;

  const std::string rsrc = options.resourceSection ? BuildResources(options.resources, kRsrcRva) : std::string();
  const auto alignUp = [](std::size_t v, std::size_t a) { return static_cast<std::uint32_t>((v + a - 1) / a * a); };
  const std::uint32_t rsrcRaw = alignUp(rsrc.size(), kFileAlignment);
  const std::uint16_t sectionCount = options.resourceSection ? 2 : 1;
  const std::uint32_t imageSize = kRsrcRva + (options.resourceSection ? alignUp(rsrc.size(), kSectionAlignment) : 0);

  Bytes out;
  // DOS header: "MZ", the rest zero apart from e_lfanew.
  out.Raw("MZ");
  out.PadTo(0x3C);
  out.U32(kPeOffset);
  out.PadTo(kPeOffset);

  out.Raw(std::string_view("PE\0\0", 4));
  out.U16(plus ? 0x8664 : 0x014C);          // Machine: x86-64 / i386
  out.U16(sectionCount);
  out.U32(0x5F5E1000);                      // TimeDateStamp
  out.U32(0);                               // PointerToSymbolTable
  out.U32(0);                               // NumberOfSymbols
  out.U16(plus ? 240 : 224);                // SizeOfOptionalHeader
  out.U16(plus ? 0x0022 : 0x0102);          // executable; large-address-aware / 32-bit machine

  const std::size_t optionalStart = out.size();
  out.U16(plus ? 0x20B : 0x10B);            // Magic
  out.U8(14);                               // linker version
  out.U8(0);
  out.U32(kFileAlignment);                  // SizeOfCode
  out.U32(rsrcRaw);                         // SizeOfInitializedData
  out.U32(0);                               // SizeOfUninitializedData
  out.U32(kTextRva);                        // AddressOfEntryPoint
  out.U32(kTextRva);                        // BaseOfCode
  if (plus) {
    out.U64(0x140000000ull);                // ImageBase
  } else {
    out.U32(kRsrcRva);                      // BaseOfData
    out.U32(0x400000);                      // ImageBase
  }
  out.U32(kSectionAlignment);
  out.U32(kFileAlignment);
  out.U16(6);                               // OS version 6.0
  out.U16(0);
  out.U16(0);                               // image version
  out.U16(0);
  out.U16(6);                               // subsystem version 6.0
  out.U16(0);
  out.U32(0);                               // Win32VersionValue
  out.U32(imageSize);
  out.U32(kFileAlignment);                  // SizeOfHeaders
  out.U32(0);                               // CheckSum
  out.U16(2);                               // Subsystem: GUI
  out.U16(0x8140);                          // DllCharacteristics: terminal-server aware, NX, dynamic base
  for (int i = 0; i < 4; ++i) {             // stack and heap reserve/commit
    if (plus) out.U64(0x100000); else out.U32(0x100000);
  }
  out.U32(0);                               // LoaderFlags
  out.U32(16);                              // NumberOfRvaAndSizes
  for (int i = 0; i < 16; ++i) {
    const bool resources = i == 2 && options.resourceSection;
    out.U32(resources ? kRsrcRva : 0);
    out.U32(resources ? static_cast<std::uint32_t>(rsrc.size()) : 0);
  }
  out.PadTo(optionalStart + (plus ? 240 : 224));

  auto section = [&out](std::string_view name, std::uint32_t virtualSize, std::uint32_t rva, std::uint32_t rawSize,
                        std::uint32_t rawPointer, std::uint32_t characteristics) {
    std::string padded(name);
    padded.resize(8, '\0');
    out.Raw(padded);
    out.U32(virtualSize);
    out.U32(rva);
    out.U32(rawSize);
    out.U32(rawPointer);
    out.U32(0);  // relocations
    out.U32(0);  // line numbers
    out.U16(0);
    out.U16(0);
    out.U32(characteristics);
  };
  section(".text", 1, kTextRva, kFileAlignment, kFileAlignment, 0x60000020);  // code, execute, read
  if (options.resourceSection) {
    section(".rsrc", static_cast<std::uint32_t>(rsrc.size()), kRsrcRva, rsrcRaw, 2 * kFileAlignment, 0x40000040);
  }
  out.PadTo(kFileAlignment);
  out.U8(0xC3);  // ret
  out.PadTo(2 * kFileAlignment);
  out.Raw(rsrc);
  out.PadTo(2 * kFileAlignment + rsrcRaw);
  return out.str();
}

PeOptions TypicalPe(std::vector<std::byte> versionBlock, bool pe32plus) {
  PeOptions options;
  options.pe32plus = pe32plus;
  auto bytes = [](std::string_view text) {
    std::vector<std::byte> out;
    for (const char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
  };
  options.resources.push_back(PeResource{"PNG", 0, "LOGO", 0, 0x0409, bytes("\x89PNG not really")});
  options.resources.push_back(PeResource{"", 3, "", 1, 0x0409, bytes("icon bits")});
  options.resources.push_back(PeResource{"", 16, "", 1, 0x0409, std::move(versionBlock)});
  return options;
}

}  // namespace zephron::test
