// Sessions and what every handle kind shares: opening a session, its options,
// reading a request's body, closing handles, the last server response.
#include <mutex>

#include "platform/ascii_case.h"
#include "transfer/internet_internal.h"

namespace zephron::transfer {

using namespace detail;

HInternet::operator bool() const { return object_ && !object_->closed(); }

namespace detail {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {

// The shared pool may be used by several threads (the engine's worker thread
// and the window's): libcurl locks each kind of shared data through these.
class ConnectionPool {
 public:
  ConnectionPool() : share_(curl_share_init()) {
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &ConnectionPool::Lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &ConnectionPool::Unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  }
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;
  // At the end of the process: closes the connections still kept (unless a
  // transfer still holds the pool, then it is left to the process's end).
  ~ConnectionPool() {
    if (share_) curl_share_cleanup(share_);
  }
  CURLSH* get() const { return share_; }

 private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<ConnectionPool*>(self)->locks_[Index(data)].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<ConnectionPool*>(self)->locks_[Index(data)].unlock();
  }
  static std::size_t Index(curl_lock_data data) {
    const auto index = static_cast<std::size_t>(data);
    return index < kLocks ? index : 0;
  }

  static constexpr std::size_t kLocks = CURL_LOCK_DATA_LAST;
  CURLSH* share_;
  std::mutex locks_[kLocks];
};

}  // namespace

CURLSH* SharedConnections() {
  GlobalInit();
  static ConnectionPool pool;
  return pool.get();
}

EasyPtr NewEasy() {
  EasyPtr easy(curl_easy_init());
  if (!easy) Fail(ERROR_INTERNET_INTERNAL_ERROR, "The transfer could not be set up");
  return easy;
}

}  // namespace detail

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
    case ZEPHRON_OPTION_TRANSFER_TIME_LIMIT:
      core.transferTimeLimitMs = static_cast<long>(value);
      return true;
    default:
      Fail(12009);
      return false;
  }
}

bool InternetReadFile(const HInternet& file, std::span<std::byte> buffer, std::uint32_t& read) {
  read = 0;
  auto* readable = As<ReadableHandle>(file);
  if (!readable) return false;
  return readable->ReadBlock(buffer, read);
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

namespace detail {

bool IsInvalidDomain(std::string_view host) {
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kInvalid = "invalid";
  if (host.size() < kInvalid.size()) return false;
  const std::string_view tail = host.substr(host.size() - kInvalid.size());
  if (!platform::SameTextAscii(tail, kInvalid)) return false;
  return host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.';
}

std::string UrlHost(const std::string& url) {
  CURLU* parsed = curl_url();
  if (!parsed) return {};
  std::string host;
  char* part = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK && part) {
    host = part;
  }
  curl_free(part);
  curl_url_cleanup(parsed);
  return host;
}

}  // namespace detail
}  // namespace zephron::transfer
