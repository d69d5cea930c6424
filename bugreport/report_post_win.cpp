// The POST on WinINet, the system's Internet library.
#include "bugreport/report_post.h"

#include <windows.h>

#include <wininet.h>

#include <array>
#include <memory>
#include <optional>

#include "platform/win32_text.h"

namespace zephron::bugreport {
namespace {

using platform::win32::Narrow;
using platform::win32::Wide;

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kTransferTimeoutMs = 60000;
// The type the libcurl POST sends too, so that the server sees one request on every system.
constexpr wchar_t kHeaders[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

struct InternetCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

std::optional<std::wstring> TextHeader(HINTERNET request, DWORD query) {
  DWORD size = 0;
  HttpQueryInfoW(request, query, nullptr, &size, nullptr);
  if (size == 0) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, query, text.data(), &size, nullptr)) return std::nullopt;
  text.resize(size / sizeof(wchar_t));
  return text;
}

}  // namespace

TPostResult PostBugReport(const std::string& server, const std::string& body) {
  TPostResult result;
  std::wstring url = Wide(BugReportUrl(server));
  std::array<wchar_t, INTERNET_MAX_HOST_NAME_LENGTH> host{};
  std::wstring path(url.size() + 1, L'\0');
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  // The report goes over plain HTTP and nowhere else.
  if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP) return result;
  path.resize(parts.dwUrlPathLength);

  const Internet session(InternetOpenW(L"Zephron", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return result;
  for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD timeout = option == INTERNET_OPTION_CONNECT_TIMEOUT ? kConnectTimeoutMs : kTransferTimeoutMs;
    InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
  }
  const Internet connection(InternetConnectW(session.get(), host.data(), parts.nPort, nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return result;
  const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
  const Internet request(HttpOpenRequestW(connection.get(), L"POST", path.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request) return result;
  std::string sent = body;  // the call takes a mutable buffer
  if (!HttpSendRequestW(request.get(), kHeaders, static_cast<DWORD>(-1), sent.data(), static_cast<DWORD>(sent.size()))) {
    return result;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  result.responseText = std::to_string(status);
  if (const auto text = TextHeader(request.get(), HTTP_QUERY_STATUS_TEXT); text && !text->empty()) {
    result.responseText += " " + Narrow(*text);
  }
  std::array<char, 4096> block;
  DWORD got = 0;
  while (InternetReadFile(request.get(), block.data(), static_cast<DWORD>(block.size()), &got) && got > 0) {
    result.body.append(block.data(), got);
  }
  result.ok = status >= 200 && status < 300;
  return result;
}

}  // namespace zephron::bugreport
