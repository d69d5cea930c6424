#include "transfer/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>

#include "platform/ascii_case.h"
#include "transfer/internet_internal.h"

namespace zephron {
namespace {

// A body up to this size is read to its end (and dropped but for its first
// byte), so that the connection stays open for the next request; a longer
// one is cut off there.
constexpr std::size_t kBodyReadLimit = 64 * 1024;

struct Body {
  std::string first;    // the first byte
  std::size_t seen = 0;
};

size_t TakeFirstByte(char* data, size_t size, size_t count, void* user) {
  const std::size_t bytes = size * count;
  auto* body = static_cast<Body*>(user);
  if (bytes == 0) return 0;
  if (body->first.empty()) body->first.assign(data, 1);
  body->seen += bytes;
  return body->seen > kBodyReadLimit ? 0 : bytes;
}

// Keeps the value of the last Location header: the transfer stops at the
// first body byte, before libcurl would work out the redirect target itself.
size_t KeepLocation(char* data, size_t size, size_t count, void* user) {
  const std::string_view line(data, size * count);
  if (platform::StartsWithAsciiNoCase(line, "HTTP/")) static_cast<std::string*>(user)->clear();
  if (platform::StartsWithAsciiNoCase(line, "Location:")) {
    std::string_view value = line.substr(9);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) value.remove_suffix(1);
    static_cast<std::string*>(user)->assign(value);
  }
  return size * count;
}

// location resolved against the URL it was the answer to.
std::string ResolveLocation(const std::string& url, const std::string& location) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_set(handle.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK) {
    return location;
  }
  char* text = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || !text) return location;
  std::string resolved = text;
  curl_free(text);
  return resolved;
}

}  // namespace

THttpGetResult TIdHTTP::Get(const std::string& url) const {
  THttpGetResult result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    result.error = "cannot create an HTTP request";
    return result;
  }
  Body body;
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, TakeFirstByte);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  std::string location;
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, KeepLocation);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &location);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, TimeLimitMs);
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  // The Internet layer's pool: the connection to a redirector serves the
  // requests that follow it.
  if (CURLSH* pool = transfer::detail::SharedConnections()) curl_easy_setopt(curl.get(), CURLOPT_SHARE, pool);
  const CURLcode code = curl_easy_perform(curl.get());
  // The write error is ours: the body went past what is read of it.
  const bool stoppedAtFirstByte = code == CURLE_WRITE_ERROR && !body.first.empty();
  if (code != CURLE_OK && !stoppedAtFirstByte) {
    result.error = errorText[0] ? errorText : curl_easy_strerror(code);
    return result;
  }
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  result.status = static_cast<int>(status);
  if (status >= 300 && status < 400) {
    if (!location.empty() && OnRedirect) {
      std::string dest = ResolveLocation(url, location);
      OnRedirect(dest);
    }
  }
  if (status >= 300) {
    result.error = "HTTP/1.1 " + std::to_string(status);
    return result;
  }
  result.ok = true;
  result.body = std::move(body.first);
  return result;
}

}  // namespace zephron
