// A program that fails on purpose, for the Windows fatal-fault tests:
//   win32_fault segv|terminate [REPORTER]   (installs the handlers, then fails)
//   win32_fault --bug-report FILE            (the reporter: saves the report)
#include <stdexcept>
#include <string>

#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"

namespace {

[[noreturn]] void Throw() { throw std::runtime_error("thrown where nothing catches"); }
// The exception cannot leave: std::terminate runs.
void Fail() noexcept { Throw(); }

}  // namespace

int main(int argc, char** argv) {
  if (const auto reported = zephron::bugreport::RunConsoleFaultReporter(argc, argv)) return *reported;
  if (argc < 2) return 2;
  if (!zephron::bugreport::InstallFatalHandlers(argc > 2 ? argv[2] : "")) return 3;
  const std::string kind = argv[1];
  if (kind == "terminate") Fail();
  zephron::bugreport::RaiseTestFault(kind);
  return 4;
}
