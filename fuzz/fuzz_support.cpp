#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace zephron::fuzz {

namespace {

struct Scratch {
  std::string path;
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "zephron-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) Fail("cannot create the scratch folder");
    path = tmpl + "/";
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

const std::string& ScratchFolder() {
  static Scratch scratch;
  return scratch.path;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write a scratch file");
  return path;
}

void EmptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::none, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    names.push_back(fs::relative(it->path(), folder, ec).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace zephron::fuzz
