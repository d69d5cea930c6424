// The POST on libcurl.
#include "bugreport/report_post.h"

#include <curl/curl.h>

#include <array>
#include <memory>

namespace zephron::bugreport {
namespace {

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

TPostResult PostBugReport(const std::string& server, const std::string& body) {
  TPostResult result;
  const std::string url = BugReportUrl(server);
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
