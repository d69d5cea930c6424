// Directory prefixes {NAME} in control-file values.
#include <cstdlib>

#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/special_folders.h"

namespace zephron {
namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

std::string TZephron::ExpandPrefixes(std::string Path) {
  if (OnConvertPrefix) OnConvertPrefix(*this, Path);
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = Path.find('{', from);
    if (open == std::string::npos) break;
    // A "{" inside an open token is part of the name; an unclosed "{" stays.
    const std::size_t close = Path.find('}', open + 1);
    if (close == std::string::npos) break;
    const std::string folder = ConvertPrefix(UpperAscii(Path.substr(open + 1, close - open - 1)));
    if (folder.empty()) {
      from = close + 1;
      continue;
    }
    Path.replace(open, close - open + 1, folder);
    // Go on after the inserted folder: a folder whose name holds "{...}" (or
    // a ConvertPrefix that returns a token) must not be expanded again, which
    // could go on for ever.
    from = open + folder.size();
  }
  return Path;
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
