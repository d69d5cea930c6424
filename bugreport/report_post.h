// Sending a bug report: the bug-report server's address, the request text
// in the ANSI code page (report_server.cpp), and the plain-HTTP POST to its
// "/bugreport" path (on libcurl, or on WinINet in report_post_win.cpp).
#pragma once

#include <string>

namespace zephron::bugreport {

// Used when the registry names no server.
inline constexpr const char* kDefaultBugReportServer = "http://bugreports.corvexis.com";

// The string value "BugReportURL" under HKLM\Software\Corvexis\Zephron (the
// program's view, then the 64-bit view), else the default; a value without a
// scheme is taken as a host for plain HTTP.
std::string BugReportServer();

// UTF-8 text as Windows-1252 bytes; characters the code page lacks become "?".
std::string ToAnsi(const std::string& text);

// server + "/bugreport", slashes at the end of server dropped first.
std::string BugReportUrl(const std::string& server);

struct TPostResult {
  bool ok = false;
  // The status text of the last answer ("500 Internal Server Error"), empty
  // when no answer came.
  std::string responseText;
  // The answer's body (the window ignores it).
  std::string body;
};

// POSTs the bytes to server + "/bugreport" over plain HTTP only (a redirect
// is not followed); a 2xx answer is success.
TPostResult PostBugReport(const std::string& server, const std::string& body);

}  // namespace zephron::bugreport
