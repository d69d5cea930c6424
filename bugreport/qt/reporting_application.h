// The window program's application object and its wiring to the exception
// capture: an exception that escapes any event handler is reported (the bug
// report window, with a screenshot of the program's windows) and the event
// loop goes on; a fatal fault starts this program again as the reporter.
#pragma once

#include <QApplication>
#include <optional>
#include <string>

#include "bugreport/exception_report.h"

namespace zephron::bugreport::qt {

class TReportingApplication : public QApplication {
 public:
  TReportingApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

// Registers the bug report window as the capture's handler, the screenshot
// source and the main thread; with installFatal also the fatal-fault
// handlers, with this program as the reporter.
void InstallBugReportWindow(bool installFatal);

// The program's visible windows as one picture; none when no window shows.
std::optional<TScreenshot> TakeWindowScreenshot();

// "<program> --bug-report <file>": shows the report of a fault file and
// gives the exit code; nullopt for any other command line.
std::optional<int> RunFaultReporter(int argc, char** argv);

// In debug mode, ZEPHRON_TEST_FAULT=exception|segv raises that test failure
// once the event loop runs.
void ScheduleTestFault(bool debugMode);

}  // namespace zephron::bugreport::qt
