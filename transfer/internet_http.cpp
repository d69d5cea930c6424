// HTTP and HTTPS requests: opened by URL, or prepared on a connection and sent
// with a body; the numeric header information of the answer.
#include "transfer/internet_internal.h"

namespace zephron::transfer {

using namespace detail;

namespace {

class HttpRequest : public ReadableHandle {
 public:
  HttpRequest(std::shared_ptr<SessionCore> core, EasyPtr easy)
      : core_(std::move(core)), easy_(std::move(easy)), transfer_(std::make_unique<Transfer>(core_, easy_.get(), true)) {}

  // Starts the request and waits for the final header block.
  bool Send(const std::string& extraHeaders, std::uint32_t flags) {
    if (flags & (INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE)) {
      headers_.Append("Cache-Control: no-cache");
      headers_.Append("Pragma: no-cache");
    }
    headers_.Append("Expect:");
    std::string_view rest = extraHeaders;
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      const std::string line = TrimLine(rest.substr(0, end));
      if (!line.empty()) headers_.Append(line);
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER, headers_.list);
    if (!transfer_->Start()) return false;
    transfer_->Pump([this] { return transfer_->headersDone(); });
    if (transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(false);
      transfer_->Stop();
      return false;
    }
    sent_ = true;
    return true;
  }

  bool sent() const { return sent_; }
  Transfer& transfer() { return *transfer_; }

  bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) override {
    read = 0;
    if (!sent_) {
      Fail(12019);
      return false;
    }
    const std::size_t n = transfer_->Read(out);
    if (n == 0 && transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(false);
      return false;
    }
    read = static_cast<std::uint32_t>(n);
    return true;
  }

 protected:
  void Release() override {
    transfer_.reset();
    easy_.reset();
  }

 private:
  std::shared_ptr<SessionCore> core_;
  EasyPtr easy_;
  std::unique_ptr<Transfer> transfer_;
  CurlSlist headers_;
  bool sent_ = false;
};

// An HTTP request prepared by HttpOpenRequestW and sent by HttpSendRequestA.
class PreparedHttpRequest : public HttpRequest {
 public:
  using HttpRequest::HttpRequest;
  std::string url;
  std::string verb;
  std::uint32_t flags = 0;
};

class HttpConnection : public HandleObject {
 public:
  std::shared_ptr<SessionCore> core;
  std::string server;
  std::uint16_t port = INTERNET_DEFAULT_HTTP_PORT;
  std::string user;
  std::string password;
};
void ApplyHttpOptions(CURL* easy, const std::string& url) {
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  // A redirect must not take a secured request onto plain http.
  const bool secure = platform::StartsWithAsciiNoCase(url, "https:");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // Connections are kept alive in the process's pool and reused by later
  // requests, whatever the flags: INTERNET_FLAG_KEEP_CONNECTION and
  // INTERNET_FLAG_EXISTING_CONNECT ask for what the pool does anyway.
  if (CURLSH* pool = SharedConnections()) curl_easy_setopt(easy, CURLOPT_SHARE, pool);
}

std::uint32_t RequestSecurity(std::uint32_t flags) {
  std::uint32_t security = 0;
  if (flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  if (flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  return security;
}

// A URL's user information ("user:pw@" before the host) taken out of it.
struct UrlCredentials {
  std::string url;
  std::optional<std::string> user;
  std::string password;
};

UrlCredentials TakeCredentials(const std::string& url) {
  UrlCredentials result{url, std::nullopt, {}};
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return result;
  const auto hostStart = scheme + 3;
  const auto authorityEnd = url.find_first_of("/?#", hostStart);
  const std::string_view authority =
      std::string_view(url).substr(hostStart, authorityEnd == std::string::npos ? std::string::npos : authorityEnd - hostStart);
  const auto at = authority.rfind('@');
  if (at == std::string_view::npos) return result;
  const std::string_view userInfo = authority.substr(0, at);
  const auto colon = userInfo.find(':');
  result.user = std::string(userInfo.substr(0, colon));
  if (colon != std::string_view::npos) result.password = std::string(userInfo.substr(colon + 1));
  result.url = url.substr(0, hostStart) + url.substr(hostStart + at + 1);
  return result;
}

}  // namespace

namespace detail {

HInternet ConnectHttp(const std::shared_ptr<SessionCore>& core, const std::string& server, std::uint16_t port,
                      const std::string& user, const std::string& password) {
  auto connection = std::make_shared<HttpConnection>();
  connection->core = core;
  connection->server = server;
  connection->port = port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port;
  connection->user = user;
  connection->password = password;
  return HInternet(std::move(connection));
}

}  // namespace detail

HInternet InternetOpenUrlW(const HInternet& session, const std::string& url, const std::string& headers,
                           std::uint32_t flags, std::uintptr_t) {
  auto* owner = As<Session>(session);
  if (!owner) return {};
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  owner->core->Apply(easy.get(), RequestSecurity(flags));
  // libcurl would send user information of the URL to the server; here it is
  // the proxy's (the engine puts ProxyUserID and ProxyPassword there).
  const UrlCredentials target = TakeCredentials(url);
  if (IsInvalidDomain(UrlHost(target.url))) {
    Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    return {};
  }
  if (target.user) {
    curl_easy_setopt(easy.get(), CURLOPT_PROXYUSERNAME, target.user->c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PROXYPASSWORD, target.password.c_str());
  }
  ApplyHttpOptions(easy.get(), target.url);
  curl_easy_setopt(easy.get(), CURLOPT_URL, target.url.c_str());
  auto request = std::make_shared<HttpRequest>(owner->core, std::move(easy));
  if (!request->Send(headers, flags)) return {};
  return HInternet(std::move(request));
}

bool HttpQueryInfoW(const HInternet& handle, std::uint32_t infoLevel, std::uint32_t& value) {
  auto* request = As<HttpRequest>(handle);
  if (!request) return false;
  if (!request->sent()) {
    Fail(12019);
    return false;
  }
  switch (infoLevel & ~HTTP_QUERY_FLAG_NUMBER) {
    case HTTP_QUERY_STATUS_CODE:
      value = static_cast<std::uint32_t>(request->transfer().status());
      return true;
    case HTTP_QUERY_CONTENT_LENGTH:
      if (const auto& length = request->transfer().contentLength()) {
        value = static_cast<std::uint32_t>(*length);
        return true;
      }
      Fail(12150);
      return false;
    default:
      Fail(12150);
      return false;
  }
}

HInternet HttpOpenRequestW(const HInternet& handle, const std::string& verb, const std::string& objectName,
                           const std::string&, const std::string& referrer, std::uint32_t flags, std::uintptr_t) {
  auto* connection = As<HttpConnection>(handle);
  if (!connection) return {};
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  connection->core->Apply(easy.get(), RequestSecurity(flags));
  const std::string object = objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName;
  const std::string url = "http://" + connection->server + ":" + std::to_string(connection->port) + object;
  ApplyHttpOptions(easy.get(), url);
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  const std::string method = verb.empty() ? "GET" : verb;
  if (method != "GET") curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
  if (!referrer.empty()) curl_easy_setopt(easy.get(), CURLOPT_REFERER, referrer.c_str());
  if (!connection->user.empty()) {
    curl_easy_setopt(easy.get(), CURLOPT_USERNAME, connection->user.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PASSWORD, connection->password.c_str());
  }
  auto request = std::make_shared<PreparedHttpRequest>(connection->core, std::move(easy));
  request->url = url;
  request->verb = method;
  request->flags = flags;
  return HInternet(std::move(request));
}

bool HttpSendRequestA(const HInternet& handle, const std::string& headers, std::string_view body) {
  auto* request = As<PreparedHttpRequest>(handle);
  if (!request) return false;
  if (request->sent()) {
    Fail(12019);
    return false;
  }
  CURL* easy = request->transfer().easy();
  if (!body.empty() || request->verb == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.data());
    // COPYPOSTFIELDS switches to POST; a custom verb stays what it was.
    if (request->verb == "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
  }
  return request->Send(headers, request->flags);
}

}  // namespace zephron::transfer
