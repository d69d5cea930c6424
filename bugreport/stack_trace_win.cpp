#include "bugreport/stack_trace.h"

#include <windows.h>
#include <psapi.h>

#include <cxxabi.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "platform/win32_text.h"

namespace zephron::bugreport {
namespace {

struct Module {
  std::uintptr_t start = 0;
  std::uintptr_t end = 0;
  std::string path;
};

// "start-end path" lines, as ReadOwnMaps writes them.
std::vector<Module> ParseModules(const std::string& maps) {
  std::vector<Module> modules;
  std::istringstream lines(maps);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long long start = 0, end = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %n", &start, &end, &consumed) < 2 || consumed <= 0) continue;
    if (static_cast<std::size_t>(consumed) >= line.size() || end <= start) continue;
    modules.push_back({static_cast<std::uintptr_t>(start), static_cast<std::uintptr_t>(end),
                       line.substr(static_cast<std::size_t>(consumed))});
  }
  return modules;
}

template <typename T>
bool ReadAt(const std::string& image, std::size_t offset, T& value) {
  if (offset > image.size() || image.size() - offset < sizeof value) return false;
  std::memcpy(&value, image.data() + offset, sizeof value);
  return true;
}

// The function symbols of a program file's COFF symbol table (which the
// GNU linker keeps unless the file is stripped), by their offset from the
// image's base; empty without one.
std::map<std::uintptr_t, std::string> FunctionSymbols(const std::string& path) {
  std::map<std::uintptr_t, std::string> symbols;
  std::ifstream in(std::filesystem::path(platform::win32::WidePath(path)), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  IMAGE_DOS_HEADER dos{};
  if (!ReadAt(image, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return symbols;
  const auto headerAt = static_cast<std::size_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER file{};
  if (!ReadAt(image, headerAt, signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(image, headerAt + sizeof signature, file) || file.PointerToSymbolTable == 0) {
    return symbols;
  }
  const std::size_t sectionsAt = headerAt + sizeof signature + sizeof file + file.SizeOfOptionalHeader;
  std::vector<IMAGE_SECTION_HEADER> sections(file.NumberOfSections);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (!ReadAt(image, sectionsAt + i * sizeof(IMAGE_SECTION_HEADER), sections[i])) return symbols;
  }
  constexpr std::size_t kSymbolSize = 18;
  const std::size_t tableAt = file.PointerToSymbolTable;
  const std::size_t stringsAt = tableAt + std::size_t{file.NumberOfSymbols} * kSymbolSize;
  for (std::size_t i = 0; i < file.NumberOfSymbols; ++i) {
    const std::size_t at = tableAt + i * kSymbolSize;
    if (at + kSymbolSize > image.size()) break;
    const char* entry = image.data() + at;
    DWORD value = 0;
    SHORT section = 0;
    WORD type = 0;
    BYTE auxiliary = 0;
    std::memcpy(&value, entry + 8, 4);
    std::memcpy(&section, entry + 12, 2);
    std::memcpy(&type, entry + 14, 2);
    std::memcpy(&auxiliary, entry + 17, 1);
    i += auxiliary;
    // Functions only (derived type "function"), in a section of the image.
    if ((type & 0x30) != 0x20 || section <= 0 || static_cast<std::size_t>(section) > sections.size()) continue;
    std::string name;
    DWORD zeroes = 0, offset = 0;
    std::memcpy(&zeroes, entry, 4);
    std::memcpy(&offset, entry + 4, 4);
    if (zeroes != 0) {
      name.assign(entry, strnlen(entry, 8));
    } else if (stringsAt + offset < image.size()) {
      const char* text = image.data() + stringsAt + offset;
      name.assign(text, strnlen(text, image.size() - stringsAt - offset));
    }
    if (!name.empty()) symbols[sections[static_cast<std::size_t>(section) - 1].VirtualAddress + value] = name;
  }
  return symbols;
}

}  // namespace

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

std::vector<std::uintptr_t> CaptureStack(int skip) {
  void* frames[62];
  const USHORT count = ::RtlCaptureStackBackTrace(static_cast<DWORD>(1 + skip), 62, frames, nullptr);
  std::vector<std::uintptr_t> addresses;
  for (USHORT i = 0; i < count; ++i) addresses.push_back(reinterpret_cast<std::uintptr_t>(frames[i]));
  return addresses;
}

std::string ReadOwnMaps() {
  HMODULE modules[512];
  DWORD needed = 0;
  const HANDLE self = ::GetCurrentProcess();
  if (!::EnumProcessModules(self, modules, sizeof modules, &needed)) return {};
  std::string text;
  for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
    MODULEINFO info{};
    wchar_t path[MAX_PATH] = {};
    if (!::GetModuleInformation(self, modules[i], &info, sizeof info) ||
        ::GetModuleFileNameW(modules[i], path, MAX_PATH) == 0) {
      continue;
    }
    char range[64];
    const auto start = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
    std::snprintf(range, sizeof range, "%" PRIxPTR "-%" PRIxPTR " ", start, start + info.SizeOfImage);
    text += range + platform::win32::NarrowPath(path) + "\n";
  }
  return text;
}

std::vector<std::string> DescribeFrames(const std::vector<std::uintptr_t>& addresses, const std::string& maps,
                                        bool firstIsExact) {
  const std::vector<Module> modules = ParseModules(maps);
  std::map<std::string, std::map<std::uintptr_t, std::string>> symbols;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    char head[64];
    std::snprintf(head, sizeof head, "#%zu 0x%" PRIxPTR, i, addresses[i]);
    std::string line = head;
    // A return address points after its call; the call itself names the function.
    const std::uintptr_t at = (i == 0 && firstIsExact) || addresses[i] == 0 ? addresses[i] : addresses[i] - 1;
    const auto module = std::find_if(modules.begin(), modules.end(),
                                     [at](const Module& m) { return at >= m.start && at < m.end; });
    if (module != modules.end()) {
      auto known = symbols.find(module->path);
      if (known == symbols.end()) known = symbols.emplace(module->path, FunctionSymbols(module->path)).first;
      const std::uintptr_t offset = at - module->start;
      auto symbol = known->second.upper_bound(offset);
      if (symbol != known->second.begin()) {
        --symbol;
        line += " " + Demangle(symbol->second.c_str());
      }
      const std::size_t slash = module->path.find_last_of("/\\");
      char where[32];
      std::snprintf(where, sizeof where, "+0x%" PRIxPTR ")", offset);
      line += " (" + module->path.substr(slash == std::string::npos ? 0 : slash + 1) + where;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace zephron::bugreport
