// Fatal faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT and std::terminate).
// A window cannot be shown safely from a failing process, so the signal
// handler, on an alternate stack and with async-signal-safe calls only,
// writes the signal, the faulting address, the thread, the raw return
// addresses and a copy of the memory map to a file, starts the reporter
// program on it ("<reporter> --bug-report <file>", detached) and re-raises
// the signal, so that the process dies with its true status (and a core
// file where the system keeps one). The reporter turns the file into a
// report with LoadFatalReport.
#pragma once

#include <string>

#include "bugreport/exception_report.h"

namespace zephron::bugreport {

inline constexpr const char* kReporterOption = "--bug-report";

// Where fault files go: <local application data>/Corvexis/Zephron/faults.
std::string FaultFolder();

// Installs the handlers for the calling (main) thread's process. reporter:
// the program started on the file; empty for none. False when the fault
// folder cannot be made (the handlers are then not installed).
bool InstallFatalHandlers(const std::string& reporter);

// The report of a fault file, which is removed once read; null when the file
// cannot be read or is not a fault file.
TExceptionReportPtr LoadFatalReport(const std::string& file);

}  // namespace zephron::bugreport
