// Directory prefixes {NAME} in control-file values.
#include <cstdlib>
#include <functional>
#include <map>
#include <string_view>

#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/ascii_case.h"
#include "platform/special_folders.h"

namespace zephron {

std::string TZephron::ExpandPrefixes(std::string Path) {
  if (OnConvertPrefix) OnConvertPrefix(*this, Path);
  // One pass that copies the text into a new string: replacing in place
  // moves the rest of the text for every token, which a value of millions
  // of tokens turns into minutes. Each name is converted once per call (a
  // conversion may read the registry).
  std::map<std::string, std::string, std::less<>> folders;
  std::string result;
  result.reserve(Path.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = Path.find('{', from);
    // A "{" inside an open token is part of the name; an unclosed "{" stays.
    const std::size_t close = open == std::string::npos ? std::string::npos : Path.find('}', open + 1);
    if (close == std::string::npos) break;
    const std::string name = platform::AsciiUpper(std::string_view(Path).substr(open + 1, close - open - 1));
    auto known = folders.find(name);
    if (known == folders.end()) known = folders.emplace(name, ConvertPrefix(name)).first;
    result.append(Path, from, open - from);
    // An unknown name stays as written; an inserted folder is never scanned
    // again, so a folder whose name holds "{...}" cannot expand for ever.
    if (known->second.empty()) {
      result.append(Path, open, close - open + 1);
    } else {
      result += known->second;
    }
    from = close + 1;
  }
  result.append(Path, from, std::string::npos);
  return result;
}

std::string TZephron::ConvertPrefix(const std::string& prefix) {
  std::string folder;
  if (prefix == "WIN") {
    folder = platform::WindowsFolder();
  } else if (prefix == "SYS") {
    folder = platform::SystemFolder();
  } else if (prefix == "APP") {
    folder = platform::ProgramFolder();
  } else if (prefix == "TMP") {
    folder = WinTempDir();
  } else if (prefix == "DOC") {
    folder = platform::DocumentsFolder();
  } else if (prefix == "PF") {
    const char* value = std::getenv("ProgramFiles");
    folder = value ? value : "";
  } else if (prefix == "LAD") {
    folder = platform::LocalAppDataFolder();
    if (folder.empty()) throw EngineError("Could not find Local Application Data folder location.");
  }
  return NormalisePrefixFolder(folder);
}

}  // namespace zephron
