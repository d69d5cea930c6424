#include "transfer/http_client.h"

#include <curl/curl.h>

#include <memory>

namespace zephron {
namespace {

// Keeps the first byte and stops the transfer: whatever the server sends
// after it is never read, however large.
size_t TakeFirstByte(char* data, size_t size, size_t count, void* user) {
  if (size * count == 0) return 0;
  auto* body = static_cast<std::string*>(user);
  body->assign(data, 1);
  return 0;
}

}  // namespace

THttpGetResult TIdHTTP::Get(const std::string& url) const {
  THttpGetResult result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    result.error = "cannot create an HTTP request";
    return result;
  }
  std::string body;
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, TakeFirstByte);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, TimeLimitMs);
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  const CURLcode code = curl_easy_perform(curl.get());
  // The write error is ours: the first byte of the body has come.
  const bool stoppedAtFirstByte = code == CURLE_WRITE_ERROR && !body.empty();
  if (code != CURLE_OK && !stoppedAtFirstByte) {
    result.error = errorText[0] ? errorText : curl_easy_strerror(code);
    return result;
  }
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  result.status = static_cast<int>(status);
  if (status >= 300 && status < 400) {
    char* location = nullptr;
    curl_easy_getinfo(curl.get(), CURLINFO_REDIRECT_URL, &location);
    if (location && OnRedirect) {
      std::string dest = location;
      OnRedirect(dest);
    }
  }
  if (status >= 300) {
    result.error = "HTTP/1.1 " + std::to_string(status);
    return result;
  }
  result.ok = true;
  result.body = std::move(body);
  return result;
}

}  // namespace zephron
