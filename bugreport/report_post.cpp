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

// Windows-1252 for 0x80..0x9F; its five unassigned bytes stand for the C1
// controls of the same number.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char AnsiByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
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
  for (std::size_t at = 0; at < text.size();) bytes.push_back(AnsiByte(platform::NextCodePoint(text, at)));
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
