// HTTP and HTTPS requests on Windows: opened by URL (redirects followed here,
// so that an https request follows only https ones), or prepared on a
// connection and sent with a body; the numeric header information of the answer.
#include "transfer/internet_internal_win.h"

namespace zephron::transfer {

using namespace detail;
using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

constexpr DWORD kCacheFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE;
// The flags a request handle takes over (INTERNET_FLAG_EXISTING_CONNECT asks
// for what the system's connection pool does anyway).
constexpr DWORD kPassedFlags = kCacheFlags | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                               INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

class HttpRequest : public ReadableHandle {
 public:
  HttpRequest(NativePtr connection, NativePtr request, std::shared_ptr<SessionOptions> options)
      : options_(std::move(options)), connection_(std::move(connection)), reader_(std::move(request)) {}

  // Sends the request (headers: "Name: value" lines) and waits for the answer.
  bool Send(const std::string& headers, std::string_view body, std::uint32_t flags, bool secure) {
    HINTERNET request = reader_.get();
    const auto deadline = TransferDeadline(*options_);
    reader_.SetLimits(deadline, options_->receiveTimeoutMs);
    ApplyTimeouts(request, *options_);
    if (secure && options_->securityFlags != 0) {
      DWORD security = 0;
      DWORD size = sizeof security;
      ::InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
      security |= options_->securityFlags;
      if (!::InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security)) {
        FailFromSystem();
        return false;
      }
    }
    if (flags & kCacheFlags) {
      ::HttpAddRequestHeadersW(request, L"Cache-Control: no-cache\r\nPragma: no-cache\r\n", static_cast<DWORD>(-1),
                               HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }
    std::string lines;
    std::string_view rest = headers;
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      std::string_view line = rest.substr(0, end);
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
      if (!line.empty()) lines.append(line).append("\r\n");
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    // Connecting and the wait for the answer, each within its time-out.
    const DWORD bound = options_->connectTimeoutMs + options_->receiveTimeoutMs;
    const auto send = [request, lines, content = std::string(body)](HINTERNET&) {
      return ::HttpSendRequestA(request, lines.empty() ? nullptr : lines.c_str(), static_cast<DWORD>(lines.size()),
                                const_cast<char*>(content.data()), static_cast<DWORD>(content.size())) != FALSE;
    };
    if (!RunBounded(bound, deadline, send, {reader_.native(), connection_})) return false;
    if (reader_.DeadlinePassed()) return false;
    platform::SetLastResponseInfo(StatusLine(request));
    length_ = NumericHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    sent_ = true;
    return true;
  }

  bool sent() const { return sent_; }
  HINTERNET native() const { return reader_.get(); }

  bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) override {
    read = 0;
    if (!sent_) {
      Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      return false;
    }
    if (!reader_.Read(out, read)) return false;
    // The connection closed before the announced length: cut off.
    if (read == 0 && reader_.ended() && length_ && reader_.total() < *length_) {
      Fail(ERROR_INTERNET_CONNECTION_ABORTED);
      return false;
    }
    return true;
  }

 protected:
  void Release() override {
    reader_.Reset();
    connection_.reset();
  }

 private:
  std::shared_ptr<SessionOptions> options_;
  NativePtr connection_;
  BodyReader reader_;
  std::optional<DWORD> length_;
  bool sent_ = false;
};

// An HTTP request prepared by HttpOpenRequestW and sent by HttpSendRequestA.
class PreparedHttpRequest : public HttpRequest {
 public:
  using HttpRequest::HttpRequest;
  std::uint32_t flags = 0;
};

class HttpConnection : public HandleObject {
 public:
  NativePtr native;
  std::shared_ptr<SessionOptions> options;

 protected:
  void Release() override { native.reset(); }
};

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

namespace detail {

HInternet ConnectHttp(const Session& session, NativePtr connection) {
  auto object = std::make_shared<HttpConnection>();
  object->native = std::move(connection);
  object->options = session.options;
  return HInternet(std::move(object));
}

}  // namespace detail

HInternet InternetOpenUrlW(const HInternet& session, const std::string& url, const std::string& headers,
                           std::uint32_t flags, std::uintptr_t context) {
  auto* owner = As<Session>(session);
  if (!owner) return {};
  std::wstring current = Wide(url);
  auto parts = CrackUrl(current);
  if (!parts) {
    Fail(ERROR_INTERNET_INVALID_URL);
    return {};
  }
  if (IsInvalidDomain(Narrow(parts->host))) {
    Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    return {};
  }
  if (parts->scheme == INTERNET_SCHEME_FTP) {
    HInternet connection = InternetConnectW(session, Narrow(parts->host), parts->port, Narrow(parts->user),
                                            Narrow(parts->password), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE,
                                            context);
    if (!connection) return {};
    return FtpOpenFileW(connection, Narrow(parts->object.substr(1)), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, context);
  }
  if (parts->scheme != INTERNET_SCHEME_HTTP && parts->scheme != INTERNET_SCHEME_HTTPS) {
    Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return {};
  }
  const bool secureStart = parts->scheme == INTERNET_SCHEME_HTTPS;
  // User information in the URL is the proxy's, never the server's.
  const std::wstring proxyUser = parts->user;
  const std::wstring proxyPassword = parts->password;
  for (int redirects = 0;; ++redirects) {
    const bool secure = parts->scheme == INTERNET_SCHEME_HTTPS;
    NativePtr connection = Hold(::InternetConnectW(owner->native->get(), parts->host.c_str(), parts->port, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0),
                                 owner->native);
    if (!connection) return {};
    ApplyTimeouts(connection->get(), *owner->options);
    const DWORD requestFlags = (flags & kPassedFlags) | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI |
                               INTERNET_FLAG_NO_COOKIES | (secure ? INTERNET_FLAG_SECURE : 0);
    NativePtr native = Hold(::HttpOpenRequestW(connection->get(), L"GET", parts->object.c_str(), nullptr, nullptr,
                                               nullptr, requestFlags, 0),
                           connection);
    if (!native) return {};
    if (!proxyUser.empty()) {
      ::InternetSetOptionW(native->get(), INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(proxyUser.c_str()),
                           static_cast<DWORD>(proxyUser.size()));
      ::InternetSetOptionW(native->get(), INTERNET_OPTION_PROXY_PASSWORD,
                           const_cast<wchar_t*>(proxyPassword.c_str()), static_cast<DWORD>(proxyPassword.size()));
    }
    auto request = std::make_shared<HttpRequest>(connection, native, owner->options);
    if (!request->Send(headers, {}, flags, secure)) return {};
    const DWORD status = NumericHeader(native->get(), HTTP_QUERY_STATUS_CODE).value_or(0);
    const auto location = IsRedirect(status) ? TextHeader(native->get(), HTTP_QUERY_LOCATION) : std::nullopt;
    if (!location) return HInternet(std::move(request));
    if (redirects == kMaxRedirects) {
      Fail(ERROR_HTTP_REDIRECT_FAILED, "The HTTP redirect request failed");
      return {};
    }
    const std::wstring next = ResolveUrl(current, *location);
    auto nextParts = CrackUrl(next);
    if (!nextParts) {
      Fail(ERROR_INTERNET_INVALID_URL);
      return {};
    }
    if (secureStart && nextParts->scheme == INTERNET_SCHEME_HTTP) {
      Fail(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
           "The application is moving from an SSL to a non-SSL connection because of a redirect.");
      return {};
    }
    if (nextParts->scheme != INTERNET_SCHEME_HTTP && nextParts->scheme != INTERNET_SCHEME_HTTPS) {
      Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
      return {};
    }
    if (IsInvalidDomain(Narrow(nextParts->host))) {
      Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
      return {};
    }
    current = next;
    parts = std::move(nextParts);
  }
}

bool HttpQueryInfoW(const HInternet& handle, std::uint32_t infoLevel, std::uint32_t& value) {
  auto* request = As<HttpRequest>(handle);
  if (!request) return false;
  if (!request->sent()) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  const std::uint32_t level = infoLevel & ~HTTP_QUERY_FLAG_NUMBER;
  if (level == HTTP_QUERY_STATUS_CODE || level == HTTP_QUERY_CONTENT_LENGTH) {
    if (const auto number = NumericHeader(request->native(), level)) {
      value = *number;
      return true;
    }
  }
  Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  return false;
}

HInternet HttpOpenRequestW(const HInternet& handle, const std::string& verb, const std::string& objectName,
                           const std::string& version, const std::string& referrer, std::uint32_t flags,
                           std::uintptr_t) {
  auto* connection = As<HttpConnection>(handle);
  if (!connection) return {};
  const std::string object = objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName;
  const std::wstring wideVersion = Wide(version);
  const std::wstring wideReferrer = Wide(referrer);
  const DWORD requestFlags = (flags & kPassedFlags) | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  NativePtr native = Hold(::HttpOpenRequestW(connection->native->get(), Wide(verb.empty() ? "GET" : verb).c_str(),
                                             Wide(object).c_str(), version.empty() ? nullptr : wideVersion.c_str(),
                                             referrer.empty() ? nullptr : wideReferrer.c_str(), nullptr,
                                             requestFlags, 0),
                           connection->native);
  if (!native) return {};
  auto request = std::make_shared<PreparedHttpRequest>(connection->native, native, connection->options);
  request->flags = flags;
  return HInternet(std::move(request));
}

bool HttpSendRequestA(const HInternet& handle, const std::string& headers, std::string_view body) {
  auto* request = As<PreparedHttpRequest>(handle);
  if (!request) return false;
  if (request->sent()) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  return request->Send(headers, body, request->flags, false);
}

}  // namespace zephron::transfer
