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
