// The window program's wiring of the exception capture on Win32: the bug
// report window as the capture's handler, shown on the main thread, with a
// screenshot of the program's windows (a GDI copy); a fatal fault starts
// this program again as the reporter ("zephron.exe --bug-report <file>").
#pragma once

#include <optional>
#include <string>

#include "bugreport/exception_report.h"

namespace zephron::bugreport::win32 {

// Registers the bug report window as the capture's handler, the screenshot
// source and the calling thread as the main thread; with installFatal also
// the fatal-fault handlers, with this program as the reporter.
void InstallBugReportWindow(bool installFatal);

// The program's visible top-level windows (the bug report window's aside)
// as one picture; none when no window shows.
std::optional<TScreenshot> TakeWindowScreenshot();

// "<program> --bug-report <file>": shows the report of a fault file and
// gives the exit code; nullopt for any other command line.
std::optional<int> RunFaultReporter(int argc, char** argv);

}  // namespace zephron::bugreport::win32
