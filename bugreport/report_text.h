// What a bug report says, in one place for exceptions caught in the process
// and for fatal faults written down by the signal handler: the failure, the
// time, the executable and its version, the computer, the user, the
// operating system, the thread and the stack.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "bugreport/exception_report.h"

namespace zephron::bugreport {

// The header of a report made by this process now.
TBugReportHeader CurrentHeader();
// "Linux 6.1.0-13-amd64 #1 SMP ... x86_64" (uname), "Windows 10.0 (build 19045) x86_64".
std::string OperatingSystemText();
// The four-part version of the executable's version resource, empty without one.
std::string ExecutableVersion(const std::string& executable);

struct TReportParts {
  std::string failure;              // "Exception std::runtime_error: ..." or "Signal SIGSEGV ..."
  std::time_t time = 0;
  TBugReportHeader header;
  std::string operatingSystem;
  std::string thread;               // e.g. "1234 (main thread)"
  std::vector<std::string> stack;   // one line per frame, innermost first
};

std::string ComposeReport(const TReportParts& parts);

// "std::runtime_error: message" for the exception being described; the
// type name of anything that is not a std::exception.
std::string DescribeException(const std::exception_ptr& error);

}  // namespace zephron::bugreport
