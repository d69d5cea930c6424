// The program's last line of defence against failures nobody handled. A C++
// exception that escapes an event handler or a pass is given to
// ReportException, which makes a report of it and hands it to the registered
// handler on the main thread; the program then goes on. Fatal faults are
// fatal_signals.h's. Without a handler, or when the handler leaves a report
// unhandled, the report is saved and written to standard error.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "bugreport/exception_report.h"

namespace zephron::bugreport {

using TExceptionHandler = std::function<void(const TExceptionReportPtr& report, bool& handled)>;
void RegisterExceptionHandler(TExceptionHandler handler);

// Takes the screenshot of a report; the window program's toolkit sets one,
// the headless front end none.
using TScreenshotSource = std::function<std::optional<TScreenshot>()>;
void SetScreenshotSource(TScreenshotSource source);

// Whether reports are saved by the window's save routine (on by default).
void SetAutoSave(bool autoSave);

// Runs work on the main thread and waits for it; the capture calls the
// handler through it when a report arises elsewhere. The window program sets
// its event loop here; by default the work runs at once.
using TMainThreadRunner = std::function<void(const std::function<void()>& work)>;
void SetMainThreadRunner(TMainThreadRunner runner);

// The report of a failure in this process now: the failure text, the
// stack of the caller, the header and the screenshot.
TExceptionReportPtr MakeReport(const std::string& failure);

// Reports the exception; never throws.
void ReportException(const std::exception_ptr& error) noexcept;

// Runs work, reporting an exception that escapes it; false when one did.
// Only the unwinding of a cancelled thread passes through.
bool RunReported(const std::function<void()>& work);

// Ends the program at once, as "Shutdown Program" asks: the failing
// program's own clean-up may be what is broken, so none of it runs.
[[noreturn]] void CloseApplication();

// For showing the capture at work: "exception" throws an ordinary error,
// "segv" writes through a null pointer, anything else does nothing.
void RaiseTestFault(const std::string& kind);

}  // namespace zephron::bugreport

namespace zephron::bugreport {

// The headless front end's handler: the report goes to standard error, with
// the file it was saved to, and counts as handled.
void RegisterConsoleReportHandler(const std::string& program);

// "<program> --bug-report <file>" without a window: saves the report of the
// fault file and writes it to standard error; nullopt for any other command
// line.
std::optional<int> RunConsoleFaultReporter(int argc, char** argv);

}  // namespace zephron::bugreport
