// Internal to the Internet library stand-in: the handle objects and the
// transfer pump that the session, HTTP and FTP units share (and the
// connection pool the updater's own HTTP client uses too). Nothing outside
// transfer/ includes this header; internet.h is the public one.
//
// Every handle runs its transfers on its session's multi handle; HTTP
// connections kept alive by one request are reused by the next through the
// process's pool, and an FTP control connection stays logged in between the
// calls on it. A transfer is
// pumped only while its caller waits for it; received data goes into a
// bounded buffer and the transfer is paused when that buffer is full, until
// the reader has emptied it.
#pragma once

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/last_error.h"
#include "transfer/internet.h"

namespace zephron::transfer::detail {

// What every kind of handle shares: closing is explicit (InternetCloseHandle)
// and holds for every copy of the handle.
class HandleObject {
 public:
  virtual ~HandleObject() = default;
  void Close() {
    if (closed_) return;
    closed_ = true;
    Release();
  }
  bool closed() const { return closed_; }

 protected:
  virtual void Release() {}

 private:
  bool closed_ = false;
};


using Clock = std::chrono::steady_clock;

// The library's defaults when the host sets no time-out.
constexpr long kDefaultConnectTimeoutMs = 60000;
constexpr long kDefaultReceiveTimeoutMs = 30000;
constexpr long kMaxRedirects = 10;
// Data received ahead of the reader; the transfer pauses beyond it.
constexpr std::size_t kBufferLimit = 1024 * 1024;
constexpr long kCurlBufferSize = 256 * 1024;

void GlobalInit();

// The process's pool of kept-alive HTTP connections (and its resolver cache),
// which every HTTP request of every session uses, as the platform's library
// keeps one pool per process: a request to a server another request has
// talked to goes over that connection again when it is still open.
CURLSH* SharedConnections();

inline void Fail(std::uint32_t code, std::string text = {}) { platform::SetLastSystemError(code, std::move(text)); }

// Names under the special-use domain "invalid", which never resolve: they
// fail at once as unresolvable, without asking the resolver.
bool IsInvalidDomain(std::string_view host);
// The host part of a URL ("" when it has none).
std::string UrlHost(const std::string& url);

inline std::string TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return std::string(line);
}

struct CurlSlist {
  curl_slist* list = nullptr;
  CurlSlist() = default;
  CurlSlist(const CurlSlist&) = delete;
  CurlSlist& operator=(const CurlSlist&) = delete;
  ~CurlSlist() { curl_slist_free_all(list); }
  void Append(const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
  }
};

// The settings of one session, shared with every handle opened on it.
struct SessionCore {
  std::string agent;
  std::uint32_t accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;
  long connectTimeoutMs = kDefaultConnectTimeoutMs;
  long receiveTimeoutMs = kDefaultReceiveTimeoutMs;
  std::uint32_t securityFlags = 0;
  long transferTimeLimitMs = 0;  // 0: no overall bound, only the idle time-outs
  CURLM* multi = nullptr;

  SessionCore() = default;
  SessionCore(const SessionCore&) = delete;
  SessionCore& operator=(const SessionCore&) = delete;
  ~SessionCore() {
    if (multi) curl_multi_cleanup(multi);
  }

  // Options every easy handle of the session gets.
  void Apply(CURL* easy, std::uint32_t requestSecurity) const {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kCurlBufferSize);
    // Through a proxy, HTTPS starts with the proxy's answer to CONNECT; only
    // the origin server's answer may count as the request's status.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (accessType == INTERNET_OPEN_TYPE_PROXY) {
      curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    } else if (accessType == INTERNET_OPEN_TYPE_DIRECT) {
      curl_easy_setopt(easy, CURLOPT_PROXY, "");
    }  // else: libcurl reads the usual proxy environment variables itself
    const std::uint32_t security = securityFlags | requestSecurity;
    // A date error alone cannot be told apart from the other chain errors by
    // libcurl: the chain is only left unchecked when an unknown CA is allowed.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, (security & SECURITY_FLAG_IGNORE_UNKNOWN_CA) ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, (security & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
  }
};

// The library's error number for a failed curl transfer, with the text it
// shows; a refusal the FTP server answered is the extended error, whose text
// is the server's reply (LastResponseInfo).
void SetErrorFromCurl(CURLcode code, CURL* easy, const char* errorBuffer, bool serverReplied);

// One run of an easy handle on the session's multi handle.
class Transfer {
 public:
  Transfer(std::shared_ptr<SessionCore> core, CURL* easy, bool http) : core_(std::move(core)), easy_(easy), http_(http) {}
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() { Stop(); }

  bool Start() {
    errorBuffer_[0] = '\0';
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &Transfer::OnPrereq);
    curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
    deadline_.reset();
    if (core_->transferTimeLimitMs > 0) deadline_ = Clock::now() + std::chrono::milliseconds(core_->transferTimeLimitMs);
    if (curl_multi_add_handle(core_->multi, easy_) != CURLM_OK) {
      Fail(ERROR_INTERNET_INTERNAL_ERROR, "The transfer could not be started");
      return false;
    }
    added_ = true;
    return true;
  }

  // Removes the handle from the multi handle; a transfer that has not
  // finished is abandoned (its connection is closed).
  void Stop() {
    if (!added_) return;
    curl_multi_remove_handle(core_->multi, easy_);
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, nullptr);
    added_ = false;
  }

  // Drives the transfer until ready() holds or it ends. A receive time-out,
  // or passing the session's overall time limit, ends it with
  // CURLE_OPERATION_TIMEDOUT.
  template <class Ready>
  void Pump(Ready ready) {
    lastActivity_ = Clock::now();
    while (!done_ && !ready()) {
      int running = 0;
      if (curl_multi_perform(core_->multi, &running) != CURLM_OK) {
        Finish(CURLE_FAILED_INIT);
        break;
      }
      CollectMessages();
      if (done_ || ready()) break;
      const long limit = connected_ ? core_->receiveTimeoutMs : core_->receiveTimeoutMs + core_->connectTimeoutMs;
      const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity_).count();
      if (idle >= limit) {
        Stop();
        Finish(CURLE_OPERATION_TIMEDOUT);
        std::snprintf(errorBuffer_, sizeof errorBuffer_, "no data received for %ld ms", limit);
        break;
      }
      long left = limit - static_cast<long>(idle);
      if (deadline_) {
        const auto toDeadline =
            std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now()).count();
        if (toDeadline <= 0) {
          Stop();
          Finish(CURLE_OPERATION_TIMEDOUT);
          std::snprintf(errorBuffer_, sizeof errorBuffer_, "not finished within %ld ms", core_->transferTimeLimitMs);
          break;
        }
        left = std::min<long>(left, static_cast<long>(toDeadline));
      }
      const int wait = static_cast<int>(std::clamp<long>(left, 1, 200));
      curl_multi_poll(core_->multi, nullptr, 0, wait, nullptr);
    }
  }

  void RunToEnd() {
    Pump([] { return false; });
  }

  bool done() const { return done_; }
  CURLcode result() const { return result_; }
  bool headersDone() const { return headersDone_; }
  long status() const { return status_; }
  const std::optional<std::uint64_t>& contentLength() const { return contentLength_; }
  const char* errorBuffer() const { return errorBuffer_; }
  CURL* easy() const { return easy_; }
  void DiscardBody() { keepBody_ = false; }
  void Touch() { lastActivity_ = Clock::now(); }

  std::size_t Available() const { return buffer_.size() - offset_; }

  // Fills out with received data, waiting for more as long as the transfer
  // goes on (as the library's synchronous reads do): less than out.size()
  // only at the end of the data or when the transfer failed.
  std::size_t Read(std::span<std::byte> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
      if (Available() == 0) {
        if (done_) break;
        buffer_.clear();
        offset_ = 0;
        if (paused_) {
          paused_ = false;
          Touch();
          curl_easy_pause(easy_, CURLPAUSE_CONT);
        }
        Pump([this] { return Available() > 0; });
        if (Available() == 0) break;
      }
      const std::size_t n = std::min(out.size() - filled, Available());
      std::memcpy(out.data() + filled, buffer_.data() + offset_, n);
      offset_ += n;
      filled += n;
    }
    return filled;
  }

  // Reports the failure of a finished transfer as the last error.
  void ReportFailure(bool serverReplied) const { SetErrorFromCurl(result_, easy_, errorBuffer_, serverReplied); }

 private:
  void Finish(CURLcode code) {
    done_ = true;
    result_ = code;
    headersDone_ = true;
  }

  void CollectMessages() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(core_->multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      void* owner = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
      if (owner) static_cast<Transfer*>(owner)->Finish(message->data.result);
    }
  }

  // Takes every chunk libcurl hands over (handing one back paused would make
  // libcurl copy it aside) and pauses the receiving once the buffer is full;
  // the buffer thus holds at most the limit plus one receive buffer.
  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    transfer->Touch();
    transfer->headersDone_ = true;
    if (!transfer->keepBody_) return bytes;
    if (transfer->offset_ > 0 && transfer->offset_ == transfer->buffer_.size()) {
      transfer->buffer_.clear();
      transfer->offset_ = 0;
    }
    if (transfer->buffer_.capacity() == 0) transfer->buffer_.reserve(kBufferLimit + kCurlBufferSize);
    transfer->buffer_.insert(transfer->buffer_.end(), data, data + bytes);
    if (!transfer->paused_ && transfer->Available() >= kBufferLimit) {
      transfer->paused_ = true;
      curl_easy_pause(transfer->easy_, CURLPAUSE_RECV);
    }
    return bytes;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    transfer->Touch();
    if (transfer->http_) transfer->HttpHeader(std::string_view(data, bytes));
    return bytes;
  }

  static int OnPrereq(void* self, char*, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(self);
    transfer->connected_ = true;
    transfer->Touch();
    return CURL_PREREQFUNC_OK;
  }

  void HttpHeader(std::string_view line) {
    const std::string text = TrimLine(line);
    if (platform::StartsWithAsciiNoCase(text, "HTTP/")) {
      platform::SetLastResponseInfo(text);
      contentLength_.reset();
      sawLocation_ = false;
      const auto space = text.find(' ');
      status_ = 0;
      if (space != std::string::npos) {
        std::from_chars(text.data() + space + 1, text.data() + text.size(), status_);
      }
      return;
    }
    if (text.empty()) {
      // End of one header block: final unless it is an interim answer or a
      // redirect that libcurl goes on to follow.
      const bool interim = status_ >= 100 && status_ < 200;
      const bool redirect = sawLocation_ && (status_ == 301 || status_ == 302 || status_ == 303 ||
                                             status_ == 307 || status_ == 308);
      if (!interim && !redirect) headersDone_ = true;
      return;
    }
    if (platform::StartsWithAsciiNoCase(text, "Content-Length:")) {
      std::string_view value = std::string_view(text).substr(15);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      std::uint64_t length = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (ec == std::errc()) contentLength_ = length;
    } else if (platform::StartsWithAsciiNoCase(text, "Location:")) {
      sawLocation_ = true;
    }
  }

  std::shared_ptr<SessionCore> core_;
  CURL* easy_;
  bool http_;
  bool keepBody_ = true;
  bool added_ = false;
  bool done_ = false;
  bool paused_ = false;
  bool connected_ = false;
  bool headersDone_ = false;
  bool sawLocation_ = false;
  CURLcode result_ = CURLE_OK;
  long status_ = 0;
  std::optional<std::uint64_t> contentLength_;
  std::vector<char> buffer_;
  std::size_t offset_ = 0;
  Clock::time_point lastActivity_ = Clock::now();
  std::optional<Clock::time_point> deadline_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
};

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

// ---- Handle kinds ----

class Session : public HandleObject {
 public:
  explicit Session(std::shared_ptr<SessionCore> core) : core(std::move(core)) {}
  std::shared_ptr<SessionCore> core;
};

// A request whose body is read with InternetReadFile: an HTTP request or an FTP file.
class ReadableHandle : public HandleObject {
 public:
  virtual bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) = 0;
};


template <class T>
T* As(const HInternet& handle) {
  if (!handle) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* object = dynamic_cast<T*>(handle.get());
  if (!object) Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  return object;
}

// A new easy handle; empty (last error set) when libcurl has none to give.
EasyPtr NewEasy();

// An HTTP connection handle (nothing is sent until a request is opened on it).
HInternet ConnectHttp(const std::shared_ptr<SessionCore>& core, const std::string& server, std::uint16_t port,
                      const std::string& user, const std::string& password);

}  // namespace zephron::transfer::detail
