// What sending a report takes on every system besides the POST itself.
#include "bugreport/report_post.h"

#include "platform/registry.h"
#include "platform/unicode.h"

namespace zephron::bugreport {
namespace {

constexpr const char* kServerKey = "Software\\Corvexis\\Zephron";
constexpr const char* kServerValue = "BugReportURL";

std::string ReadServerValue(platform::RegView view) {
  const auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine, kServerKey, view);
  if (!key) return {};
  return key->ReadString(kServerValue).value_or(std::string());
}

}  // namespace

std::string BugReportServer() {
  std::string server = ReadServerValue(platform::RegView::Default);
  if (server.empty() && platform::Is64BitSystem()) server = ReadServerValue(platform::RegView::Bits64);
  if (server.empty()) return kDefaultBugReportServer;
  if (server.find("://") == std::string::npos) server = "http://" + server;
  return server;
}

std::string ToAnsi(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) bytes.push_back(platform::CodePointToWindows1252(platform::NextCodePoint(text, at)));
  return bytes;
}

std::string BugReportUrl(const std::string& server) {
  std::string url = server;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url + "/bugreport";
}

}  // namespace zephron::bugreport
