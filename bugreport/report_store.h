// The saved bug reports: one text file per report in the folder
// <application data>/Corvexis/bugreports, made when missing; beyond
// kMaxSavedReports the oldest files of ours there are removed.
#pragma once

#include <cstddef>
#include <string>

namespace zephron::bugreport {

inline constexpr std::size_t kMaxSavedReports = 20;

// "<application data>/Corvexis/bugreports"; empty when there is no
// application-data folder.
std::string BugReportFolder();

// Saves the report text as "bugreport-<date>-<time>-<pid>-<n>.txt"; the
// file's path, or empty when it could not be written.
std::string SaveBugReport(const std::string& text);

}  // namespace zephron::bugreport
