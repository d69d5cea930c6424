#include "bugreport/report_post.h"

#include <curl/curl.h>

#include <array>
#include <memory>

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

struct Answer {
  std::string statusText;
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  const std::string line(data, size * count);
  // Each status line (a "100 Continue" first, perhaps) replaces the last.
  if (line.starts_with("HTTP/")) {
    const std::size_t space = line.find(' ');
    std::string text = space == std::string::npos ? std::string() : line.substr(space + 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    static_cast<Answer*>(user)->statusText = text;
  }
  return size * count;
}

std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct CurlCloser {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

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

TPostResult PostBugReport(const std::string& server, const std::string& body) {
  TPostResult result;
  std::string url = server;
  while (!url.empty() && url.back() == '/') url.pop_back();
  url += "/bugreport";
  std::unique_ptr<CURL, CurlCloser> curl(curl_easy_init());
  if (!curl) return result;
  Answer answer;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  // The report goes over plain HTTP and nowhere else.
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl.get(), CURLOPT_POST, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &answer);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 15L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
  const CURLcode code = curl_easy_perform(curl.get());
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  result.responseText = answer.statusText;
  result.ok = code == CURLE_OK && status >= 200 && status < 300;
  return result;
}

}  // namespace zephron::bugreport
