// A program that faults for real: "segv" writes through a null pointer,
// "terminate" lets an exception escape main; each with the fatal handlers
// installed and this program as the reporter, which, started with
// --bug-report, saves the report of the fault file.
#include <cstring>
#include <stdexcept>
#include <string>

#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"
#include "platform/special_folders.h"

namespace {

// A real fault, also in sanitizer builds, whose checks would catch it first.
[[gnu::noinline, gnu::no_sanitize("address", "undefined")]] void CrashThroughNullPointer(volatile int* target) { *target = 42; }

[[gnu::noinline]] void ThrowPastEveryHandler() { throw std::logic_error("nobody catches this"); }

}  // namespace

int main(int argc, char** argv) {
  using namespace zephron;
  if (const auto reported = bugreport::RunConsoleFaultReporter(argc, argv)) return *reported;
  if (argc != 2 || !bugreport::InstallFatalHandlers(platform::ProgramFile())) return 2;
  if (std::strcmp(argv[1], "segv") == 0) CrashThroughNullPointer(nullptr);
  if (std::strcmp(argv[1], "terminate") == 0) ThrowPastEveryHandler();
  return 3;
}
