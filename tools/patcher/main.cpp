// patcher: applies our patches to files in place, and makes them.
//   patcher [-v] PATCH TARGET [>> FILE]
//   patcher [-v] make OLD NEW PATCH
// The updater and the setup program run it as "patcher.exe" for ".PAT"
// files. The layout of a patch is in patch_format.h, the command line in
// command_line.h. Exit status 0 when done, 1 when refused or failed (the
// target is then as it was), 2 for an unusable command line.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/program_arguments.h"
#include "tools/patcher/command_line.h"
#include "tools/patcher/patch.h"

namespace {

constexpr const char* kUsage = "usage: patcher [-v] PATCH TARGET [>> FILE] | patcher [-v] make OLD NEW PATCH";

// The report goes where the caller redirected it, else to standard output;
// errors go to standard error as well, as a redirection would leave them.
// The file a caller names is the engine's log, so lines appended to it
// take that log's form: the time, " : [000] ", the text.
class Report {
 public:
  explicit Report(std::optional<std::string> file) : file_(std::move(file)) {}
  void Line(const std::string& text) const {
    if (file_) {
      Append(text);
    } else {
      std::printf("%s\n", text.c_str());
    }
  }
  void Error(const std::string& text) const {
    std::fprintf(stderr, "patcher: %s\n", text.c_str());
    if (file_) Append("patcher: " + text);
  }

 private:
  void Append(const std::string& text) const {
    const std::string stamp = zephron::platform::FormatDateTime("dd/mm/yyyy hh:nn:ss", zephron::platform::Now());
    zephron::platform::AppendLine(*file_, stamp + " : [000] " + text);
  }

  std::optional<std::string> file_;
};

}  // namespace

int main(int argc, char** argv) {
  using zephron::patcher::CommandLine;
  const std::vector<std::string> args = zephron::platform::ProgramArguments(argc, argv);
  const CommandLine line = zephron::patcher::ParseCommandLine(args);
  const Report report(line.report);
  if (!line.error.empty()) {
    report.Error(line.error);
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  const auto outcome = line.action == CommandLine::Action::Make
                           ? zephron::patcher::MakePatch(line.files[0], line.files[1], line.files[2])
                           : zephron::patcher::ApplyPatch(line.files[0], line.files[1]);
  if (!outcome.ok) {
    report.Error(outcome.error);
    return 1;
  }
  if (line.verbose) {
    for (const auto& note : outcome.notes) report.Line(note);
  }
  return 0;
}
