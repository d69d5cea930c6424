#include "bugreport/exception_capture.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string_view>

#include "bugreport/fatal_signals.h"
#include "bugreport/host_facts.h"
#include "bugreport/report_store.h"
#include "bugreport/report_text.h"
#include "bugreport/stack_trace.h"

namespace zephron::bugreport {
namespace {

struct CaptureState {
  std::mutex mutex;
  TExceptionHandler handler;
  TScreenshotSource screenshot;
  TMainThreadRunner mainThread;
  bool autoSave = true;
};

CaptureState& State() {
  static CaptureState state;
  return state;
}

void Deliver(const TExceptionReportPtr& report) {
  TExceptionHandler handler;
  TMainThreadRunner mainThread;
  {
    std::lock_guard lock(State().mutex);
    handler = State().handler;
    mainThread = State().mainThread;
  }
  bool handled = false;
  if (handler) {
    const auto call = [&] { handler(report, handled); };
    if (mainThread) {
      mainThread(call);
    } else {
      call();
    }
  }
  if (!handled) {
    if (report->GetAutoSave()) SaveBugReport(report->GetBugReport());
    std::fprintf(stderr, "%s\n", report->GetBugReport().c_str());
  }
}

}  // namespace

void RegisterExceptionHandler(TExceptionHandler handler) {
  std::lock_guard lock(State().mutex);
  State().handler = std::move(handler);
}

void SetScreenshotSource(TScreenshotSource source) {
  std::lock_guard lock(State().mutex);
  State().screenshot = std::move(source);
}

void SetAutoSave(bool autoSave) {
  std::lock_guard lock(State().mutex);
  State().autoSave = autoSave;
}

void SetMainThreadRunner(TMainThreadRunner runner) {
  std::lock_guard lock(State().mutex);
  State().mainThread = std::move(runner);
}

TExceptionReportPtr MakeReport(const std::string& failure) {
  TReportParts parts;
  parts.failure = failure;
  parts.time = std::time(nullptr);
  parts.header = CurrentHeader();
  parts.operatingSystem = OperatingSystemText();
  parts.thread = CurrentThreadText();
  parts.stack = DescribeFrames(CaptureStack(1), ReadOwnMaps());
  TScreenshotSource source;
  bool autoSave = true;
  {
    std::lock_guard lock(State().mutex);
    source = State().screenshot;
    autoSave = State().autoSave;
  }
  std::optional<TScreenshot> screenshot;
  if (source) screenshot = source();
  TBugReportHeader header = parts.header;
  return std::make_shared<IExceptionReport>(ComposeReport(parts), std::move(header), std::move(screenshot), autoSave);
}

void ReportException(const std::exception_ptr& error) noexcept {
  try {
    // The stack is where the exception was caught: the frames that threw it
    // are gone by then, but the caught-at frames name the event or pass.
    Deliver(MakeReport("Exception " + DescribeException(error)));
  } catch (const std::exception& failure) {
    // Reporting must not become the failure that ends the program.
    std::fprintf(stderr, "bug report failed: %s\nwhile reporting: %s\n", failure.what(),
                 DescribeException(error).c_str());
  } catch (...) {
    std::fprintf(stderr, "bug report failed\n");
  }
}

bool RunReported(const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (abi::__forced_unwind&) {
    throw;  // a thread being cancelled, not a failure
  } catch (...) {
    ReportException(std::current_exception());
    return false;
  }
}

void CloseApplication() {
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}

// The fault must be a real one also in sanitizer builds, whose checks would
// catch it first.
[[gnu::no_sanitize("address", "undefined")]] void RaiseTestFault(const std::string& kind) {
  if (kind == "exception") throw std::runtime_error("Zephron test failure");
  if (kind == "segv") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
}

}  // namespace zephron::bugreport

namespace zephron::bugreport {

void RegisterConsoleReportHandler(const std::string& program) {
  RegisterExceptionHandler([program](const TExceptionReportPtr& report, bool& handled) {
    const std::string saved = report->GetAutoSave() ? SaveBugReport(report->GetBugReport()) : std::string();
    std::fprintf(stderr, "%s: unexpected failure%s%s\n%s\n", program.c_str(), saved.empty() ? "" : ", report saved to ",
                 saved.c_str(), report->GetBugReport().c_str());
    std::fflush(stderr);
    handled = true;
  });
}

std::optional<int> RunConsoleFaultReporter(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != kReporterOption) return std::nullopt;
  const TExceptionReportPtr report = LoadFatalReport(argv[2]);
  if (!report) return 1;
  const std::string saved = SaveBugReport(report->GetBugReport());
  std::fprintf(stderr, "%s: fatal failure%s%s\n%s\n", argv[0], saved.empty() ? "" : ", report saved to ",
               saved.c_str(), report->GetBugReport().c_str());
  return saved.empty() ? 1 : 0;
}

}  // namespace zephron::bugreport
