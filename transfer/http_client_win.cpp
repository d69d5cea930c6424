// The redirector client on Windows, on the system's Internet library: its
// connections are the library's process-wide ones, which the requests after
// a redirector's answer use again.
#include "transfer/http_client.h"

#include <array>

#include "transfer/internet_internal_win.h"

namespace zephron {

using namespace transfer::detail;
using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

// A body up to this size is read to its end (and dropped but for its first
// byte), so that the connection stays open for the next request; a longer
// one is cut off there.
constexpr std::size_t kBodyReadLimit = 64 * 1024;
constexpr DWORD kConnectTimeoutMs = 30000;

std::string ErrorText(DWORD code) {
  std::string text = platform::SystemErrorText(code);
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

THttpGetResult TIdHTTP::Get(const std::string& url) const {
  THttpGetResult result;
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeLimitMs);
  const std::wstring wideUrl = Wide(url);
  const auto parts = CrackUrl(wideUrl);
  if (!parts || (parts->scheme != INTERNET_SCHEME_HTTP && parts->scheme != INTERNET_SCHEME_HTTPS)) {
    result.error = "not an HTTP URL: " + url;
    return result;
  }
  NativePtr session = Hold(::InternetOpenW(L"Zephron", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), nullptr);
  if (!session) {
    result.error = ErrorText(::GetLastError());
    return result;
  }
  SessionOptions limits;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  limits.receiveTimeoutMs = static_cast<DWORD>(TimeLimitMs > 0 ? TimeLimitMs : 1);
  NativePtr connection = Hold(::InternetConnectW(session->get(), parts->host.c_str(), parts->port, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0),
                               session);
  const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                      (parts->scheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  NativePtr request = connection ? Hold(::HttpOpenRequestW(connection->get(), L"GET", parts->object.c_str(), nullptr,
                                                           nullptr, nullptr, flags, 0),
                                           connection)
                                 : nullptr;
  if (!request) {
    result.error = ErrorText(platform::LastSystemError().code);
    return result;
  }
  ApplyTimeouts(request->get(), limits);
  const auto send = [native = request->get()](HINTERNET&) {
    return ::HttpSendRequestW(native, nullptr, 0, nullptr, 0) != FALSE;
  };
  if (!RunBounded(static_cast<DWORD>(TimeLimitMs > 0 ? TimeLimitMs : 1), deadline, send, {request, connection})) {
    result.error = ErrorText(platform::LastSystemError().code);
    return result;
  }
  const DWORD status = NumericHeader(request->get(), HTTP_QUERY_STATUS_CODE).value_or(0);
  result.status = static_cast<int>(status);
  if (status >= 300 && status < 400 && OnRedirect) {
    if (const auto location = TextHeader(request->get(), HTTP_QUERY_LOCATION)) {
      std::string dest = Narrow(ResolveUrl(wideUrl, *location));
      OnRedirect(dest);
    }
  }
  if (status >= 300) {
    result.error = "HTTP/1.1 " + std::to_string(status);
    return result;
  }
  std::array<char, 4096> block;
  std::size_t seen = 0;
  while (seen < kBodyReadLimit) {
    DWORD got = 0;
    if (!::InternetReadFile(request->get(), block.data(), static_cast<DWORD>(block.size()), &got)) {
      if (seen > 0) break;  // the first byte is all that counts
      result.error = ErrorText(::GetLastError());
      return result;
    }
    if (got == 0) break;
    if (seen == 0) result.body.assign(block.data(), 1);
    seen += got;
    if (Clock::now() >= deadline) break;
  }
  result.ok = true;
  return result;
}

}  // namespace zephron
