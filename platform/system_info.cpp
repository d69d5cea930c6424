#include "platform/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>

namespace zephron::platform {
namespace {

// The distribution's own name for itself, from os-release; empty without one.
std::string DistributionName() {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return {};
}

}  // namespace

std::string OperatingSystemVersion() {
  utsname name{};
  std::string text = ::uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : std::string("Linux");
  if (const std::string distribution = DistributionName(); !distribution.empty()) text += " (" + distribution + ")";
  return text;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace zephron::platform
