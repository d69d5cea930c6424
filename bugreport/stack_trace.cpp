#include "bugreport/stack_trace.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <execinfo.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace zephron::bugreport {
namespace {


// The load address of every file mapped from its start: where its first
// segment lies, which is what libdwfl takes as the module's base.
std::map<std::string, std::uintptr_t> MappedFiles(const std::string& maps) {
  std::map<std::string, std::uintptr_t> files;
  std::istringstream lines(maps);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long long start = 0, end = 0, offset = 0;
    char perms[8] = {};
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %*s %*s %n", &start, &end, perms, &offset, &consumed) < 4) {
      continue;
    }
    if (consumed <= 0 || static_cast<std::size_t>(consumed) >= line.size()) continue;
    const std::string path = line.substr(static_cast<std::size_t>(consumed));
    if (offset != 0 || path.empty() || path[0] != '/') continue;
    files.emplace(path, static_cast<std::uintptr_t>(start));
  }
  return files;
}

struct DwflCloser {
  void operator()(Dwfl* dwfl) const { dwfl_end(dwfl); }
};

}  // namespace

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

std::vector<std::uintptr_t> CaptureStack(int skip) {
  void* frames[128];
  const int count = ::backtrace(frames, 128);
  std::vector<std::uintptr_t> addresses;
  for (int i = 1 + skip; i < count; ++i) addresses.push_back(reinterpret_cast<std::uintptr_t>(frames[i]));
  return addresses;
}

std::string ReadOwnMaps() {
  std::ifstream in("/proc/self/maps");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> DescribeFrames(const std::vector<std::uintptr_t>& addresses, const std::string& maps,
                                        bool firstIsExact) {
  static char* debuginfoPath = nullptr;
  static const Dwfl_Callbacks callbacks = {
      dwfl_build_id_find_elf, dwfl_standard_find_debuginfo, dwfl_offline_section_address, &debuginfoPath};
  std::unique_ptr<Dwfl, DwflCloser> dwfl(dwfl_begin(&callbacks));
  if (dwfl) {
    dwfl_report_begin(dwfl.get());
    for (const auto& [path, base] : MappedFiles(maps)) {
      const std::size_t slash = path.rfind('/');
      dwfl_report_elf(dwfl.get(), path.substr(slash + 1).c_str(), path.c_str(), -1, base, false);
    }
    dwfl_report_end(dwfl.get(), nullptr, nullptr);
  }

  std::vector<std::string> lines;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    char head[64];
    std::snprintf(head, sizeof head, "#%zu 0x%" PRIxPTR, i, addresses[i]);
    std::string line = head;
    // A return address points after its call; the call itself names the line.
    const Dwarf_Addr at = (i == 0 && firstIsExact) || addresses[i] == 0 ? addresses[i] : addresses[i] - 1;
    Dwfl_Module* module = dwfl ? dwfl_addrmodule(dwfl.get(), at) : nullptr;
    if (module != nullptr) {
      if (const char* name = dwfl_module_addrname(module, at); name != nullptr) line += " " + Demangle(name);
      if (Dwfl_Line* source = dwfl_module_getsrc(module, at); source != nullptr) {
        int number = 0;
        if (const char* file = dwfl_lineinfo(source, nullptr, &number, nullptr, nullptr, nullptr); file != nullptr) {
          line += std::string(" at ") + file + ":" + std::to_string(number);
        }
      }
      const char* moduleName = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      if (moduleName != nullptr) line += std::string(" (") + moduleName + ")";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace zephron::bugreport
