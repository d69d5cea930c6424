// Prints the FileVersion string of its own executable, which the build
// stamped with the project's version.
#include <cstdio>

#include "platform/version_info.h"

int main() {
  using namespace zephron::platform;
  const auto block = GetFileVersionInfo("/proc/self/exe");
  if (!block) {
    std::puts("no version information");
    return 1;
  }
  const auto value = VerQueryValue(*block, "\\StringFileInfo\\040904B0\\FileVersion");
  if (!value) {
    std::puts("no FileVersion");
    return 1;
  }
  std::printf("%s\n", VerValueText(*value).c_str());
  return 0;
}
