// What the bug report windows share, whatever their toolkit: their texts,
// the permission choices remembered for the run, when the screenshot may be
// sent, the XML request built from a report and its delivery.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "bugreport/exception_report.h"

namespace zephron {
class TxmlDocument;
}

namespace zephron::bugreport {

namespace texts {
inline constexpr const char* kCaption = "Bug Report";
inline constexpr const char* kExplanation =
    "Program has encountered a problem. With your permission, it will send us information about the problem and "
    "the screenshot, to help us fix it. Your choice will be remembered and used automatically next time the "
    "problem occurs, if no user activity occurs within 20 seconds. You can also enter your own comment about the "
    "problem, for example what you think may have caused it. If the program becomes unstable after this problem, "
    "please restart it.";
inline constexpr const char* kAllowReport = "Allow sending bug report and user comment";
inline constexpr const char* kAllowScreenshot = "Allow sending screenshot";
inline constexpr const char* kContinue = "Continue";
inline constexpr const char* kShutdown = "Shutdown Program";
inline constexpr const char* kSending = "Sending bug report";
inline constexpr const char* kDeliveryFailed = "Bug report delivery failed\r\n\r\n";
}  // namespace texts

// Seconds the window waits before it continues by itself.
inline constexpr int kResumeSeconds = 20;
// "Resuming in <seconds> seconds".
std::string ResumingText(int seconds);

// The permission choices of the last window closed in this run.
bool& RememberedAllowReport();
bool& RememberedAllowScreenshot();

// Whether "Allow sending screenshot" may be checked: sending is allowed, and
// the report has a screenshot that no replacement text stands in for.
bool ScreenshotChoiceOpen(bool allowReport, const IExceptionReport* report, const std::string& replacement);

// The request for the report (none: empty fields), the replacement text
// standing in for its own when not empty, with the screenshot when asked
// and there is one to send, and the user's comment (lines ending in CR LF).
// Throws when the screenshot cannot be written to its temporary file.
std::unique_ptr<TxmlDocument> BuildReportRequest(const IExceptionReport* report, const std::string& replacement,
                                                 bool withScreenshot, const std::string& comment);

// Sends the request's text in the ANSI code page to the server; nullopt when
// it was delivered, otherwise the message the window shows ("Bug report
// delivery failed" and the status text of the answer). Never throws.
std::optional<std::string> DeliverReportRequest(std::unique_ptr<TxmlDocument> request, const std::string& server);

}  // namespace zephron::bugreport
