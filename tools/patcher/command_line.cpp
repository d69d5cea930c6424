#include "tools/patcher/command_line.h"

#include <string_view>

namespace zephron::patcher {
namespace {

constexpr std::string_view kAppend = ">>";

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> args) {
  CommandLine line;
  std::vector<std::string> words;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options && arg == "-v") {
      line.verbose = true;
      continue;
    }
    if (options && arg == "--") {
      options = false;
      continue;
    }
    bool fileFollows = false;
    if (arg == kAppend) {
      fileFollows = true;
      arg.clear();
    } else if (arg.starts_with(kAppend)) {
      line.report = arg.substr(kAppend.size());
      continue;
    } else if (arg.ends_with(kAppend)) {
      fileFollows = true;
      arg.resize(arg.size() - kAppend.size());
    }
    if (fileFollows) {
      if (i + 1 == args.size()) {
        line.error = "\">>\" names no file";
        return line;
      }
      line.report = args[++i];
    }
    if (arg.empty() && fileFollows) continue;
    if (options && arg.size() > 1 && arg[0] == '-') {
      line.error = "unknown option " + arg;
      return line;
    }
    options = false;
    words.push_back(std::move(arg));
  }
  if (!words.empty() && words[0] == "make") {
    line.action = CommandLine::Action::Make;
    words.erase(words.begin());
    if (words.size() != 3) line.error = "make takes OLD NEW PATCH";
  } else if (words.size() != 2) {
    line.error = "expected PATCH TARGET";
  }
  line.files = std::move(words);
  if (line.report && line.report->empty()) line.error = "\">>\" names no file";
  return line;
}

}  // namespace zephron::patcher
