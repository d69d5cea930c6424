#include "tools/zephron-publish/release.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <system_error>

#include "platform/ascii_case.h"

namespace zephron::publish {

namespace fs = std::filesystem;

std::int32_t SimpleChecksum(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return -1;
  std::uint32_t sum = 0xFFFFFFFFu;
  std::array<char, 4096> block;
  while (in) {
    in.read(block.data(), block.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) sum += static_cast<unsigned char>(block[i]);
  }
  return static_cast<std::int32_t>(sum);
}

std::optional<std::string> UnfitName(const std::string& component) {
  for (const char c : component) {
    if (static_cast<unsigned char>(c) < 32 || c == 127 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
      return "holds a character Windows does not allow in a file name";
    }
  }
  if (component.back() == '.' || component.back() == ' ') return "ends in a dot or a blank";
  // The control file's reader trims values and expands {NAME} tokens in paths.
  if (component.front() == ' ' || component.front() == '\t') return "begins with a blank";
  if (component.find('{') != std::string::npos) return "holds \"{\", which a control file reads as a folder token";
  const std::string stem = platform::AsciiUpper(component.substr(0, component.find('.')));
  static const std::array<std::string_view, 4> kDevices{"CON", "PRN", "AUX", "NUL"};
  const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                        stem[3] >= '1' && stem[3] <= '9';
  if (numbered || std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) {
    return "is a device name on Windows";
  }
  return std::nullopt;
}

ReleaseScan ScanRelease(const fs::path& folder) {
  ReleaseScan scan;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    scan.error = folder.string() + " is not a folder";
    return scan;
  }
  // Every file and folder under its lower-case path: two of them meeting
  // there would be one on the client.
  std::map<std::string, std::string> seen;
  const auto claim = [&](const std::string& path) {
    const auto [it, added] = seen.emplace(platform::AsciiLower(path), path);
    if (!added && it->second != path) {
      scan.error = "\"" + it->second + "\" and \"" + path + "\" differ only in case";
    }
  };
  fs::recursive_directory_iterator it(folder, fs::directory_options::follow_directory_symlink, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = fs::relative(it->path(), folder, ec).generic_string();
    if (const auto why = UnfitName(it->path().filename().string())) {
      scan.error = "\"" + path + "\" " + *why;
      return scan;
    }
    claim(path);
    if (!scan.error.empty()) return scan;
    if (!it->is_regular_file(ec)) continue;
    ReleaseFile file{path, it->file_size(ec), SimpleChecksum(it->path())};
    if (file.size >= 0x80000000u) {
      scan.error = "\"" + path + "\" is 2 GiB or larger";
      return scan;
    }
    scan.files.push_back(std::move(file));
  }
  if (ec) scan.error = "cannot read " + folder.string() + ": " + ec.message();
  std::sort(scan.files.begin(), scan.files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  return scan;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Backslashed(const std::string& path) {
  std::string text = path;
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

}  // namespace zephron::publish
