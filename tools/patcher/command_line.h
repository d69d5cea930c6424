// The patcher's command line:
//   patcher [-v] PATCH TARGET [REPORT-REDIRECTION]
//   patcher [-v] make OLD NEW PATCH
// Its callers write a shell's redirection ("TARGET>> ZEPHRON.LOG",
// "TARGET >>FILE", "TARGET >> FILE") but start it without a shell, so these
// reach it as arguments: a ">>" glued to the end of an argument, an argument
// ">>FILE" and the pair ">>" FILE all name a file that the report is
// appended to. A file name that itself ends in ">>" cannot be given.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zephron::patcher {

struct CommandLine {
  enum class Action { Apply, Make };
  Action action = Action::Apply;
  bool verbose = false;
  std::vector<std::string> files;     // Apply: PATCH TARGET; Make: OLD NEW PATCH
  std::optional<std::string> report;  // the file the report is appended to
  std::string error;                  // non-empty: the command line is unusable
};

// args without the program name.
CommandLine ParseCommandLine(std::span<const std::string> args);

}  // namespace zephron::patcher
