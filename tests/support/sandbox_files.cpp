// The sandbox's file helpers, the same on every system.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/sandbox.h"

namespace zephron::test {
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

fs::path BuildDir() {
  if (const char* dir = std::getenv("ZEPHRON_BUILD_DIR")) return dir;
  return fs::current_path();
}

fs::path ChildProgram() {
#ifdef _WIN32
  return BuildDir() / "tests/support/zephron_test_child.exe";
#else
  return BuildDir() / "tests/support/zephron_test_child";
#endif
}

}  // namespace zephron::test
