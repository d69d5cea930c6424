// The Internet library stand-in on libcurl. Every handle runs its transfers
// on its session's multi handle, so that HTTP connections kept alive by one
// request can be reused by the next and an FTP control connection stays
// logged in between the calls on it. A transfer is pumped only while its
// caller waits for it; received data goes into a bounded buffer and the
// transfer is paused when that buffer is full.
//
// This unit is the platform's Internet library itself, so it reads the
// network interfaces with the system's calls.
#include "transfer/internet.h"

#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/last_error.h"

namespace zephron::transfer {
namespace detail {

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

}  // namespace detail

HInternet::operator bool() const { return object_ && !object_->closed(); }

namespace {

using Clock = std::chrono::steady_clock;
using detail::HandleObject;

// The library's defaults when the host sets no time-out.
constexpr long kDefaultConnectTimeoutMs = 60000;
constexpr long kDefaultReceiveTimeoutMs = 30000;
constexpr long kMaxRedirects = 10;
// Data received ahead of the reader; the transfer pauses beyond it.
constexpr std::size_t kBufferLimit = 1024 * 1024;
constexpr long kCurlBufferSize = 256 * 1024;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void Fail(std::uint32_t code, std::string text = {}) { platform::SetLastSystemError(code, std::move(text)); }

std::string TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return std::string(line);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
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
void SetErrorFromCurl(CURLcode code, CURL* easy, const char* errorBuffer, bool serverReplied) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return Fail(ERROR_INTERNET_TIMEOUT);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    case CURLE_COULDNT_CONNECT:
      return Fail(ERROR_INTERNET_CANNOT_CONNECT);
    case CURLE_URL_MALFORMAT:
      return Fail(12005);
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Fail(12006);
    case CURLE_LOGIN_DENIED:
      return Fail(ERROR_INTERNET_LOGIN_FAILURE);
    case CURLE_OUT_OF_MEMORY:
      return Fail(8);
    case CURLE_TOO_MANY_REDIRECTS:
      return Fail(12156, "The HTTP redirect request failed");
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
      return Fail(12152);
    case CURLE_SSL_CONNECT_ERROR:
      return Fail(12157);
    case CURLE_PEER_FAILED_VERIFICATION: {
      long verify = 0;
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      // OpenSSL's X509_V_ERR_CERT_NOT_YET_VALID and X509_V_ERR_CERT_HAS_EXPIRED.
      if (verify == 9 || verify == 10) return Fail(ERROR_INTERNET_SEC_CERT_DATE_INVALID);
      if (verify == 0 && errorBuffer && std::strstr(errorBuffer, "name")) {
        return Fail(ERROR_INTERNET_SEC_CERT_CN_INVALID);
      }
      return Fail(ERROR_INTERNET_INVALID_CA);
    }
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
      if (serverReplied) return Fail(ERROR_INTERNET_EXTENDED_ERROR);
      break;
    default:
      break;
  }
  const char* text = errorBuffer && *errorBuffer ? errorBuffer : curl_easy_strerror(code);
  Fail(ERROR_INTERNET_INTERNAL_ERROR, text);
}

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

  // Drives the transfer until ready() holds or it ends. A receive time-out
  // ends it with CURLE_OPERATION_TIMEDOUT.
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
      const int wait = static_cast<int>(std::clamp<long>(limit - static_cast<long>(idle), 1, 200));
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

  // Up to buffer.size() bytes of received data; waits for data when none is buffered.
  std::size_t Read(std::span<std::byte> out) {
    if (Available() == 0 && !done_) {
      buffer_.clear();
      offset_ = 0;
      if (paused_) {
        paused_ = false;
        Touch();
        curl_easy_pause(easy_, CURLPAUSE_CONT);
      }
      Pump([this] { return Available() > 0; });
    }
    const std::size_t n = std::min(out.size(), Available());
    if (n > 0) std::memcpy(out.data(), buffer_.data() + offset_, n);
    offset_ += n;
    return n;
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

  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    transfer->Touch();
    transfer->headersDone_ = true;
    if (!transfer->keepBody_) return bytes;
    if (transfer->Available() >= kBufferLimit) {
      transfer->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (transfer->offset_ > 0 && transfer->offset_ == transfer->buffer_.size()) {
      transfer->buffer_.clear();
      transfer->offset_ = 0;
    }
    transfer->buffer_.insert(transfer->buffer_.end(), data, data + bytes);
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
    if (StartsWithNoCase(text, "HTTP/")) {
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
    if (StartsWithNoCase(text, "Content-Length:")) {
      std::string_view value = std::string_view(text).substr(15);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      std::uint64_t length = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (ec == std::errc()) contentLength_ = length;
    } else if (StartsWithNoCase(text, "Location:")) {
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

class FtpFile;

// A logged-in FTP session: one easy handle whose control connection stays in
// the session's connection cache between the calls.
class FtpConnection : public HandleObject, public std::enable_shared_from_this<FtpConnection> {
 public:
  FtpConnection(std::shared_ptr<SessionCore> core, EasyPtr easy, std::string base)
      : core_(std::move(core)), easy_(std::move(easy)), base_(std::move(base)) {
    curl_easy_setopt(easy_.get(), CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy_.get(), CURLOPT_DEBUGFUNCTION, &FtpConnection::OnDebug);
    curl_easy_setopt(easy_.get(), CURLOPT_DEBUGDATA, this);
    // Names go to the server as given, relative to its current directory:
    // libcurl must not walk the URL's directories itself.
    curl_easy_setopt(easy_.get(), CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy_.get(), CURLOPT_TRANSFERTEXT, 0L);
  }

  // Logs on (the first command round).
  bool Login() { return RunCommand("", {}); }

  bool ChangeDirectory(const std::string& directory) {
    if (!Usable()) return false;
    // "*" lets the round go on when the server refuses, so the control
    // connection (and with it the session) survives a refused change.
    if (!RunCommand("", {"*CWD " + directory, "*PWD"})) return false;
    const Reply* cwd = FindReply("CWD");
    if (!cwd || cwd->code / 100 != 2) {
      platform::SetLastResponseInfo(cwd ? cwd->text : std::string());
      Fail(ERROR_INTERNET_EXTENDED_ERROR);
      return false;
    }
    const Reply* pwd = FindReply("PWD");
    absoluteDirectory_.clear();
    if (pwd && pwd->code == 257) {
      const auto open = pwd->text.find('"');
      const auto close = pwd->text.rfind('"');
      if (open != std::string::npos && close > open) absoluteDirectory_ = pwd->text.substr(open + 1, close - open - 1);
    }
    return true;
  }

  // The size of a file by name; nullopt (last error set) when the server does not list it.
  std::optional<std::uint64_t> FileSize(const std::string& name) {
    if (!Usable()) return std::nullopt;
    if (!RunCommand(name, {})) {
      // The server refused the size: the file is not there to be listed.
      if (LastReplyIsError()) Fail(ERROR_NO_MORE_FILES, "There are no more files.");
      return std::nullopt;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0) {
      Fail(ERROR_NO_MORE_FILES, "There are no more files.");
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(length);
  }

  std::shared_ptr<FtpFile> OpenFile(const std::string& name);

  // The transfer of an open file ended; an unfinished one took the control
  // connection with it, and the next one may be a fresh log-on.
  void FileClosed(bool completed) {
    busy_ = false;
    if (!completed) restoreDirectory_ = true;
  }

  CURL* easy() const { return easy_.get(); }
  const std::shared_ptr<SessionCore>& core() const { return core_; }
  std::string UrlFor(const std::string& name) const {
    char* escaped = curl_easy_escape(easy_.get(), name.c_str(), static_cast<int>(name.size()));
    std::string url = base_ + (escaped ? escaped : "");
    curl_free(escaped);
    return url;
  }
  void BeginRound(CurlSlist& quotes, const std::vector<std::string>& commands) {
    replies_.clear();
    pending_.clear();
    if (restoreDirectory_ && !absoluteDirectory_.empty()) quotes.Append("*CWD " + absoluteDirectory_);
    restoreDirectory_ = false;
    for (const auto& command : commands) quotes.Append(command);
    curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, quotes.list);
  }
  void EndRound(bool ok) {
    curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, nullptr);
    if (!ok) restoreDirectory_ = true;
  }
  bool LastReplyIsError() const { return !replies_.empty() && replies_.back().code >= 400; }
  Transfer* activeTransfer = nullptr;

 protected:
  void Release() override;

 private:
  struct Reply {
    std::string command;
    int code = 0;
    std::string text;
  };

  bool Usable() {
    if (busy_) {
      Fail(ERROR_FTP_TRANSFER_IN_PROGRESS);
      return false;
    }
    return true;
  }

  const Reply* FindReply(std::string_view verb) const {
    for (const auto& reply : replies_) {
      if (StartsWithNoCase(reply.command, verb)) return &reply;
    }
    return nullptr;
  }

  // One command round without a body: log-on or reuse, the quoted commands,
  // and for a name the SIZE lookup.
  bool RunCommand(const std::string& name, const std::vector<std::string>& commands) {
    CurlSlist quotes;
    BeginRound(quotes, commands);
    curl_easy_setopt(easy_.get(), CURLOPT_URL, UrlFor(name).c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    Transfer transfer(core_, easy_.get(), false);
    activeTransfer = &transfer;
    bool ok = transfer.Start();
    if (ok) {
      transfer.RunToEnd();
      ok = transfer.result() == CURLE_OK;
      if (!ok) transfer.ReportFailure(LastReplyIsError());
    }
    transfer.Stop();
    activeTransfer = nullptr;
    EndRound(ok);
    return ok;
  }

  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    auto* connection = static_cast<FtpConnection*>(self);
    if (connection->activeTransfer && (type == CURLINFO_HEADER_IN || type == CURLINFO_DATA_IN)) {
      connection->activeTransfer->Touch();
    }
    if (type == CURLINFO_HEADER_OUT) {
      connection->lastCommand_ = TrimLine(std::string_view(data, size));
    } else if (type == CURLINFO_HEADER_IN) {
      connection->ServerLine(TrimLine(std::string_view(data, size)));
    }
    return 0;
  }

  // Collects a reply (multi-line ones end with "ddd " after "ddd-").
  void ServerLine(const std::string& line) {
    if (!pending_.empty()) pending_ += "\r\n";
    pending_ += line;
    const bool hasCode = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                         std::isdigit(static_cast<unsigned char>(line[1])) &&
                         std::isdigit(static_cast<unsigned char>(line[2]));
    if (!hasCode) return;
    if (line.size() > 3 && line[3] == '-') {
      if (openCode_.empty()) openCode_ = line.substr(0, 3);
      return;
    }
    if (!openCode_.empty() && line.compare(0, 3, openCode_) != 0) return;
    Reply reply{lastCommand_, std::atoi(line.substr(0, 3).c_str()), pending_};
    platform::SetLastResponseInfo(reply.text);
    replies_.push_back(std::move(reply));
    pending_.clear();
    openCode_.clear();
  }

  std::shared_ptr<SessionCore> core_;
  EasyPtr easy_;
  std::string base_;
  std::string lastCommand_;
  std::string pending_;
  std::string openCode_;
  std::vector<Reply> replies_;
  std::string absoluteDirectory_;
  bool restoreDirectory_ = false;
  bool busy_ = false;
  std::weak_ptr<FtpFile> openFile_;
  friend class FtpFile;
};

// A file being read from an FTP connection (RETR in binary mode).
class FtpFile : public ReadableHandle {
 public:
  explicit FtpFile(std::shared_ptr<FtpConnection> connection)
      : connection_(std::move(connection)), transfer_(std::make_unique<Transfer>(connection_->core(), connection_->easy(), false)) {}

  bool Open(const std::string& name) {
    curl_easy_setopt(connection_->easy(), CURLOPT_URL, connection_->UrlFor(name).c_str());
    curl_easy_setopt(connection_->easy(), CURLOPT_NOBODY, 0L);
    connection_->BeginRound(quotes_, {});
    connection_->activeTransfer = transfer_.get();
    if (!transfer_->Start()) {
      Finish();
      return false;
    }
    // Wait for the first data or the end, so that a refusal shows here.
    transfer_->Pump([this] { return transfer_->Available() > 0; });
    if (transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(connection_->LastReplyIsError());
      Finish();
      return false;
    }
    return true;
  }

  bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) override {
    read = 0;
    const std::size_t n = transfer_->Read(out);
    if (n == 0 && transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(connection_->LastReplyIsError());
      return false;
    }
    read = static_cast<std::uint32_t>(n);
    return true;
  }

 protected:
  void Release() override { Finish(); }

 private:
  void Finish() {
    if (!transfer_) return;
    const bool completed = transfer_->done() && transfer_->result() == CURLE_OK;
    transfer_->Stop();
    transfer_.reset();
    connection_->activeTransfer = nullptr;
    connection_->EndRound(completed);
    connection_->FileClosed(completed);
  }

  std::shared_ptr<FtpConnection> connection_;
  std::unique_ptr<Transfer> transfer_;
  CurlSlist quotes_;
};

std::shared_ptr<FtpFile> FtpConnection::OpenFile(const std::string& name) {
  if (!Usable()) return nullptr;
  auto file = std::make_shared<FtpFile>(shared_from_this());
  busy_ = true;
  if (!file->Open(name)) return nullptr;  // Open has released the connection again
  openFile_ = file;
  return file;
}

void FtpConnection::Release() {
  if (auto file = openFile_.lock()) file->Close();
  easy_.reset();
}

// The result of FtpFindFirstFileW: holds nothing but must be closed like any handle.
class FindHandle : public HandleObject {};

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

EasyPtr NewEasy() {
  EasyPtr easy(curl_easy_init());
  if (!easy) Fail(ERROR_INTERNET_INTERNAL_ERROR, "The transfer could not be set up");
  return easy;
}

void ApplyHttpOptions(CURL* easy, std::uint32_t flags) {
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // A connection outlives its request only with keep-alive, and a request
  // takes over a kept connection only when it asks for an existing one.
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, (flags & INTERNET_FLAG_KEEP_CONNECTION) ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, (flags & INTERNET_FLAG_EXISTING_CONNECT) ? 0L : 1L);
}

std::uint32_t RequestSecurity(std::uint32_t flags) {
  std::uint32_t security = 0;
  if (flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  if (flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  return security;
}

}  // namespace

// ---- The library's calls ----

HInternet InternetOpenW(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                        const std::string&, std::uint32_t) {
  GlobalInit();
  if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
      accessType != INTERNET_OPEN_TYPE_PROXY) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  auto core = std::make_shared<SessionCore>();
  core->agent = agent;
  core->accessType = accessType;
  core->proxy = proxy;
  core->multi = curl_multi_init();
  if (!core->multi) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR, "The session could not be set up");
    return {};
  }
  curl_multi_setopt(core->multi, CURLMOPT_MAXCONNECTS, 8L);
  return HInternet(std::make_shared<Session>(std::move(core)));
}

bool InternetSetOptionW(const HInternet& handle, std::uint32_t option, std::uint32_t value) {
  auto* session = As<Session>(handle);
  if (!session) return false;
  SessionCore& core = *session->core;
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      core.connectTimeoutMs = value == 0 ? kDefaultConnectTimeoutMs : static_cast<long>(value);
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      core.receiveTimeoutMs = value == 0 ? kDefaultReceiveTimeoutMs : static_cast<long>(value);
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      core.securityFlags = value;
      return true;
    default:
      Fail(12009);
      return false;
  }
}

HInternet InternetOpenUrlW(const HInternet& session, const std::string& url, const std::string& headers,
                           std::uint32_t flags, std::uintptr_t) {
  auto* owner = As<Session>(session);
  if (!owner) return {};
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  owner->core->Apply(easy.get(), RequestSecurity(flags));
  ApplyHttpOptions(easy.get(), flags);
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
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

bool InternetReadFile(const HInternet& file, std::span<std::byte> buffer, std::uint32_t& read) {
  read = 0;
  auto* readable = As<ReadableHandle>(file);
  if (!readable) return false;
  return readable->ReadBlock(buffer, read);
}

HInternet InternetConnectW(const HInternet& session, const std::string& server, std::uint16_t port,
                           const std::string& user, const std::string& password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t) {
  auto* owner = As<Session>(session);
  if (!owner) return {};
  if (server.empty()) {
    Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    return {};
  }
  if (service == INTERNET_SERVICE_HTTP) {
    auto connection = std::make_shared<HttpConnection>();
    connection->core = owner->core;
    connection->server = server;
    connection->port = port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port;
    connection->user = user;
    connection->password = password;
    return HInternet(std::move(connection));
  }
  if (service != INTERNET_SERVICE_FTP) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  owner->core->Apply(easy.get(), 0);
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "ftp");
  if (!user.empty()) {
    curl_easy_setopt(easy.get(), CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PASSWORD, password.c_str());
  }
  if (flags & INTERNET_FLAG_PASSIVE) {
    curl_easy_setopt(easy.get(), CURLOPT_FTPPORT, nullptr);
  } else {
    curl_easy_setopt(easy.get(), CURLOPT_FTPPORT, "-");
  }
  const bool ipv6 = server.find(':') != std::string::npos;
  const std::string base = "ftp://" + (ipv6 ? "[" + server + "]" : server) + ":" +
                           std::to_string(port == 0 ? 21 : port) + "/";
  auto connection = std::make_shared<FtpConnection>(owner->core, std::move(easy), base);
  if (!connection->Login()) return {};
  return HInternet(std::move(connection));
}

bool FtpSetCurrentDirectoryW(const HInternet& handle, const std::string& directory) {
  auto* connection = As<FtpConnection>(handle);
  return connection && connection->ChangeDirectory(directory);
}

HInternet FtpFindFirstFileW(const HInternet& handle, const std::string& name, WIN32_FIND_DATAW& found,
                            std::uint32_t, std::uintptr_t) {
  found = WIN32_FIND_DATAW{};
  auto* connection = As<FtpConnection>(handle);
  if (!connection) return {};
  const auto size = connection->FileSize(name);
  if (!size) return {};
  found.cFileName = name;
  found.nFileSizeLow = static_cast<std::uint32_t>(*size & 0xFFFFFFFFu);
  found.nFileSizeHigh = static_cast<std::uint32_t>(*size >> 32);
  return HInternet(std::make_shared<FindHandle>());
}

HInternet FtpOpenFileW(const HInternet& handle, const std::string& name, std::uint32_t access, std::uint32_t,
                       std::uintptr_t) {
  auto* connection = As<FtpConnection>(handle);
  if (!connection) return {};
  if (access != GENERIC_READ) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  auto file = connection->OpenFile(name);
  if (!file) return {};
  return HInternet(std::move(file));
}

HInternet HttpOpenRequestW(const HInternet& handle, const std::string& verb, const std::string& objectName,
                           const std::string&, const std::string& referrer, std::uint32_t flags, std::uintptr_t) {
  auto* connection = As<HttpConnection>(handle);
  if (!connection) return {};
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  connection->core->Apply(easy.get(), RequestSecurity(flags));
  ApplyHttpOptions(easy.get(), flags | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_EXISTING_CONNECT);
  const std::string object = objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName;
  const std::string url = "http://" + connection->server + ":" + std::to_string(connection->port) + object;
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

bool InternetCloseHandle(HInternet& handle) {
  if (!handle.get()) {
    Fail(ERROR_INVALID_HANDLE);
    return false;
  }
  handle.get()->Close();
  handle.reset();
  return true;
}

std::string InternetGetLastResponseInfoW() { return platform::LastResponseInfo(); }

int InternetAutodial(std::uint32_t, std::uintptr_t) { return -1; }

int InternetAutodialHangup(std::uint32_t) { return -1; }

int InternetGetConnectedState(std::uint32_t& flags, std::uint32_t) {
  flags = 0;
  if (const char* offline = std::getenv("ZEPHRON_OFFLINE"); offline && std::string_view(offline) == "1") {
    flags = INTERNET_CONNECTION_OFFLINE;
    return 0;
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  bool online = false;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr) continue;
    if ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING) && !(entry->ifa_flags & IFF_LOOPBACK)) {
      online = true;
      break;
    }
  }
  ::freeifaddrs(list);
  if (!online) return 0;
  flags = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_CONFIGURED;
  const char* proxy = std::getenv("http_proxy");
  if (!proxy) proxy = std::getenv("HTTP_PROXY");
  if (proxy && *proxy) flags |= INTERNET_CONNECTION_PROXY;
  return 1;
}

}  // namespace zephron::transfer
