#include "tools/zephron-publish/check.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "archive/cabinet.h"
#include "archive/expand_compressed_file.h"
#include "engine/control_file.h"
#include "platform/ascii_case.h"
#include "platform/paths.h"
#include "tools/zephron-publish/release.h"

namespace zephron::publish {

namespace fs = std::filesystem;
using platform::AsciiLower;

namespace {

const std::set<std::string> kIntegerKeys{"count", "newsize", "newchecksum", "filesize"};
const std::set<std::string> kSwitchKeys{"appupdate", "silentrestart", "compressed", "mandatory", "preselect", "hidden"};
const std::set<std::string> kPathKeys{"url", "localversion", "targetdir", "appname", "appcomps"};

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The control file line by line, as written: what a maker means it to say.
void CheckSyntax(const std::string& bytes, const platform::ProfileFile& profile, std::vector<std::string>& problems) {
  std::istringstream in(bytes);
  std::string line, section;
  std::set<std::string> sections, keys;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = "line " + std::to_string(number) + ": ";
    const std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (trimmed[0] == '[') {
      section = AsciiLower(trimmed.substr(1, trimmed.find(']') - 1));
      if (trimmed.back() != ']') problems.push_back(where + "section header without \"]\"");
      if (!sections.insert(section).second) problems.push_back(where + "section [" + section + "] appears twice");
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
      problems.push_back(where + "neither a section nor key=value");
      continue;
    }
    const std::string key = AsciiLower(Trimmed(line.substr(0, equals)));
    const std::string value = line.substr(equals + 1);
    if (section.empty()) {
      problems.push_back(where + key + " stands before any section");
      continue;
    }
    if (!keys.insert(section + "\n" + key).second) {
      problems.push_back(where + key + " appears twice in [" + section + "]; only one counts");
      continue;
    }
    const std::string read = profile.ReadString(section, key, "");
    if (value.size() > kMaxValueLength) {
      problems.push_back(where + key + " is longer than " + std::to_string(kMaxValueLength) + " characters and is cut");
    } else if (read != value) {
      problems.push_back(where + key + " reads as \"" + read + "\", not as written");
    }
    if (kIntegerKeys.count(key) != 0) {
      std::int64_t number64 = 0;
      const auto [end, ec] = std::from_chars(read.data(), read.data() + read.size(), number64);
      if (ec != std::errc() || end != read.data() + read.size() || number64 != profile.ReadInteger(section, key, -7)) {
        problems.push_back(where + key + " is not a 32-bit decimal number");
      }
    }
    if (kSwitchKeys.count(key) != 0 && read != "0" && read != "1") {
      problems.push_back(where + key + " is a switch and is off unless it is 1");
    }
    if (kPathKeys.count(key) != 0 && read.find('{') != std::string::npos) {
      problems.push_back(where + key + " holds \"{\", read as a folder token");
    }
  }
}

// What a published file installs, unpacked into scratch: the file the entry
// names, or an empty path with the reason in problem.
fs::path Unpacked(const TFileDescription& entry, const fs::path& published, const fs::path& scratch,
                  std::string& problem) {
  std::error_code ec;
  const std::string extension = platform::AsciiUpper(published.extension().string());
  const std::string target = NameOf(platform::ToSlashes(entry.LocalVersion));
  if (extension == ".CAB") {
    const fs::path into = scratch / "cab";
    fs::create_directories(into, ec);
    if (ExtractCabinet(published.string(), into.string() + "/") != 0) {
      problem = "is not a sound cabinet";
      return {};
    }
    // A component cabinet stores the path below the installation folder.
    for (const auto& item : fs::recursive_directory_iterator(into, ec)) {
      if (item.is_regular_file() && platform::SameTextAscii(item.path().filename().string(), target)) return item.path();
    }
    if (!entry.LocalVersion.empty()) problem = "does not hold " + entry.LocalVersion;
    return {};
  }
  if (entry.Compressed) {
    const fs::path copy = scratch / published.filename();
    fs::copy_file(published, copy, ec);
    const ExpandResult expanded = ExpandCompressedFile(copy.string());
    if (expanded.status != ExpandStatus::kExpanded) {
      problem = "does not expand";
      return {};
    }
    return expanded.expandedPath;
  }
  return published;
}

void CheckEntry(const TFileDescription& entry, int index, const fs::path& folder, std::vector<std::string>& problems) {
  const std::string what = "file" + std::to_string(index) + " ";
  if (entry.Description.empty()) problems.push_back(what + "has no descr: the updater drops it");
  std::string name = platform::ToSlashes(entry.URL);
  name = name.substr(name.rfind('/') + 1);
  if (name.empty()) {
    problems.push_back(what + "has no url");
    return;
  }
  const fs::path published = folder / name;
  std::error_code ec;
  if (!fs::is_regular_file(published, ec)) {
    problems.push_back(what + name + " is missing");
    return;
  }
  const std::uint64_t size = fs::file_size(published, ec);
  if (entry.FileSize > 0 && size != static_cast<std::uint64_t>(entry.FileSize)) {
    problems.push_back(what + name + " has " + std::to_string(size) + " bytes, not " +
                       std::to_string(entry.FileSize));
    return;
  }
  if (platform::SameTextAscii(published.extension().string(), ".PAT")) {
    // A patch is checked against the file it applies to when it is applied;
    // here only what it says it makes.
    std::ifstream in(published, std::ios::binary);
    unsigned char header[32] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    std::uint64_t made = 0;
    for (int i = 7; i >= 0; --i) made = made << 8 | header[24 + i];
    if (!in || std::string(reinterpret_cast<char*>(header), 8) != "ZEPHPAT1" ||
        (entry.NewSize > 0 && made != static_cast<std::uint64_t>(entry.NewSize))) {
      problems.push_back(what + name + " is not a patch to " + std::to_string(entry.NewSize) + " bytes");
    }
    return;
  }
  const fs::path scratch = fs::temp_directory_path() / ("zephron-check-" + std::to_string(getpid()));
  fs::remove_all(scratch, ec);
  fs::create_directories(scratch, ec);
  std::string problem;
  const fs::path file = Unpacked(entry, published, scratch, problem);
  if (!problem.empty()) {
    problems.push_back(what + name + " " + problem);
  } else if (!file.empty()) {
    const std::int64_t unpackedSize = static_cast<std::int64_t>(fs::file_size(file, ec));
    if (entry.NewSize > 0 && unpackedSize != entry.NewSize) {
      problems.push_back(what + name + " installs " + std::to_string(unpackedSize) + " bytes, not " +
                         std::to_string(entry.NewSize));
    } else if (entry.NewCheckSum != -1 && SimpleChecksum(file) != entry.NewCheckSum) {
      problems.push_back(what + name + " installs checksum " + std::to_string(SimpleChecksum(file)) + ", not " +
                         std::to_string(entry.NewCheckSum));
    }
  }
  fs::remove_all(scratch, ec);
}

}  // namespace

std::vector<std::string> CheckPublication(const fs::path& location, const std::string& product) {
  std::vector<std::string> problems;
  const fs::path folder = location / product;
  const fs::path control = folder / (product + ".INF");
  std::ifstream in(control, std::ios::binary);
  if (!in) return {control.string() + " is missing"};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const platform::ProfileFile profile = platform::ProfileFile::FromBytes(bytes);
  CheckSyntax(bytes, profile, problems);

  const PrefixExpander same = [](const std::string& text) { return text; };
  const TUpdateSection update = ReadUpdateSection(profile, same);
  if (update.localversion.empty()) problems.push_back("[update] names no localversion: every release counts as new");
  if (update.date.empty() && update.newversion.empty() && update.newsize <= 0 && update.newchecksum == -1) {
    problems.push_back("[update] announces neither a date nor a version, size or checksum");
  }
  const TApplicationSection application = ReadApplicationSection(profile, same);
  if (!application.appcomps.empty() && product != "tendwell" && (!application.appupdate || application.appname.empty())) {
    problems.push_back("[application] lists components but no appupdate=1 and appname: nothing installs them");
  }
  const std::vector<TFileDescription> entries = ReadFileEntries(profile, same);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string section = "file" + std::to_string(i + 1);
    if (!profile.SectionExists(section)) {
      problems.push_back(section + " is counted in [files] but missing");
      continue;
    }
    CheckEntry(entries[i], static_cast<int>(i + 1), folder, problems);
  }
  return problems;
}

}  // namespace zephron::publish
