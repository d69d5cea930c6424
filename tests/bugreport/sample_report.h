// The report the bug report windows' tests show: a failure text, the four
// header fields and, when asked, a screenshot (by default only the first
// bytes of a PNG file, which is what the request then carries).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "bugreport/exception_report.h"

namespace zephron::test {

inline const std::vector<std::byte> kPngStart{std::byte{0x89}, std::byte{'P'}, std::byte{'N'}, std::byte{'G'}};

inline bugreport::TExceptionReportPtr SampleReport(
    bool withScreenshot, std::optional<bugreport::TScreenshot> screenshot = bugreport::TScreenshot(4, 3, kPngStart)) {
  bugreport::TBugReportHeader header;
  header.Set("executable", "/opt/zephron/zephron");
  header.Set("version", "1.0.15.33");
  header.Set("computer name", "desk7");
  header.Set("user name", "anna");
  return std::make_shared<bugreport::IExceptionReport>("Exception std::runtime_error: Boom", header,
                                                       withScreenshot ? std::move(screenshot) : std::nullopt, true);
}

}  // namespace zephron::test
