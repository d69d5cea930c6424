// Sessions and what every handle kind shares on Windows: opening a session,
// its options, reading a body, closing handles, the last server response,
// and the system's URL and header calls the other units use.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ascii_case.h"
#include "transfer/internet_internal_win.h"

namespace zephron::transfer {

using namespace detail;
using platform::win32::Narrow;
using platform::win32::Wide;

HInternet::operator bool() const { return object_ && !object_->closed(); }

namespace detail {

std::string SystemResponse() {
  DWORD error = 0;
  DWORD length = 0;
  ::InternetGetLastResponseInfoW(&error, nullptr, &length);
  std::wstring text(length + 1, L'\0');
  length = static_cast<DWORD>(text.size());
  if (!::InternetGetLastResponseInfoW(&error, text.data(), &length)) return {};
  text.resize(std::min<std::size_t>(length, text.size()));
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L'\0')) text.pop_back();
  return Narrow(text);
}

void TakeSystemResponse() {
  std::string text = SystemResponse();
  if (!text.empty()) platform::SetLastResponseInfo(std::move(text));
}

void ApplyTimeouts(HINTERNET handle, const SessionOptions& options) {
  for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT}) {
    DWORD value = options.connectTimeoutMs;
    ::InternetSetOptionW(handle, option, &value, sizeof value);
  }
  for (const DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    DWORD value = options.receiveTimeoutMs;
    ::InternetSetOptionW(handle, option, &value, sizeof value);
  }
}

namespace {

// What a bounded call hands back to the thread waiting for it.
struct BoundedCall {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  bool ok = false;
  DWORD error = 0;
  std::string response;
  HINTERNET made = nullptr;
};

}  // namespace

bool RunBounded(DWORD timeoutMs, std::optional<Clock::time_point> deadline, std::function<bool(HINTERNET&)> call,
                const std::vector<NativePtr>& cancel, HINTERNET* made) {
  auto state = std::make_shared<BoundedCall>();
  std::thread worker([state, call = std::move(call), keep = cancel] {
    HINTERNET handle = nullptr;
    const bool ok = call(handle);
    const DWORD error = ok ? 0 : ::GetLastError();
    std::string response = SystemResponse();
    std::lock_guard lock(state->mutex);
    if (state->abandoned) {
      if (handle) ::InternetCloseHandle(handle);
      return;
    }
    state->done = true;
    state->ok = ok;
    state->error = error;
    state->response = std::move(response);
    state->made = handle;
    state->finished.notify_all();
  });
  auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (deadline && *deadline < until) until = *deadline;
  std::unique_lock lock(state->mutex);
  if (!state->finished.wait_until(lock, until, [&] { return state->done; })) {
    state->abandoned = true;
    lock.unlock();
    worker.detach();
    for (const auto& handle : cancel) handle->CloseNow();
    Fail(ERROR_INTERNET_TIMEOUT);
    return false;
  }
  lock.unlock();
  worker.join();
  if (!state->response.empty()) platform::SetLastResponseInfo(state->response);
  if (made) {
    *made = state->made;
  } else if (state->made) {
    ::InternetCloseHandle(state->made);
  }
  if (!state->ok) Fail(state->error);
  return state->ok;
}

bool IsInvalidDomain(std::string_view host) {
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kInvalid = "invalid";
  if (host.size() < kInvalid.size()) return false;
  const std::string_view tail = host.substr(host.size() - kInvalid.size());
  if (!platform::SameTextAscii(tail, kInvalid)) return false;
  return host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.';
}

bool BodyReader::DeadlinePassed() {
  if (!timedOut_ && deadline_ && Clock::now() >= *deadline_) {
    timedOut_ = true;
    handle_.reset();
  }
  if (timedOut_) Fail(ERROR_INTERNET_TIMEOUT);
  return timedOut_;
}

bool BodyReader::Read(std::span<std::byte> out, std::uint32_t& read) {
  read = 0;
  if (pendingError_ != 0) {
    Fail(pendingError_);
    return false;
  }
  std::size_t filled = 0;
  while (filled < out.size() && !ended_) {
    if (DeadlinePassed()) return false;
    if (!handle_) {
      Fail(ERROR_INVALID_HANDLE);
      return false;
    }
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - filled, 1u << 30));
    DWORD got = 0;
    const auto started = Clock::now();
    // Under a deadline, only what has arrived is read at a time (a read
    // waits for all it asks for), so that the deadline is checked between
    // the pieces of a slow body.
    DWORD available = 0;
    const bool ok = (!deadline_ || ::InternetQueryDataAvailable(handle_->get(), &available, 0, 0)) &&
                    ::InternetReadFile(handle_->get(), out.data() + filled,
                                       available > 0 ? std::min(want, available) : want, &got);
    if (!ok) {
      DWORD error = ::GetLastError();
      // A read that waited out the whole receive time-out timed out,
      // whatever else the system calls its end.
      if (Clock::now() - started >= std::chrono::milliseconds(receiveTimeoutMs_)) error = ERROR_INTERNET_TIMEOUT;
      if (filled == 0) {
        Fail(error);
        return false;
      }
      pendingError_ = error;
      break;
    }
    if (got == 0) {
      ended_ = true;
      break;
    }
    filled += got;
    total_ += got;
  }
  read = static_cast<std::uint32_t>(filled);
  return true;
}

std::optional<UrlParts> CrackUrl(const std::wstring& url) {
  std::vector<wchar_t> host(1024), user(1024), password(1024), path(url.size() + 2), extra(url.size() + 2);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUserName = user.data();
  parts.dwUserNameLength = static_cast<DWORD>(user.size());
  parts.lpszPassword = password.data();
  parts.dwPasswordLength = static_cast<DWORD>(password.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  UrlParts result;
  result.scheme = parts.nScheme;
  result.host.assign(host.data(), parts.dwHostNameLength);
  result.port = parts.nPort;
  result.user.assign(user.data(), parts.dwUserNameLength);
  result.password.assign(password.data(), parts.dwPasswordLength);
  result.object.assign(path.data(), parts.dwUrlPathLength);
  result.object.append(extra.data(), parts.dwExtraInfoLength);
  if (result.object.empty() || result.object.front() != L'/') result.object.insert(0, L"/");
  return result;
}

std::optional<std::wstring> TextHeader(HINTERNET request, DWORD info) {
  std::wstring text(256, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request, info, text.data(), &bytes, nullptr)) {
      text.resize(bytes / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      return text;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
  }
  return std::nullopt;
}

std::optional<DWORD> NumericHeader(HINTERNET request, DWORD info) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return std::nullopt;
  return value;
}

std::string StatusLine(HINTERNET request) {
  const auto headers = TextHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF);
  if (!headers) return {};
  return Narrow(headers->substr(0, headers->find_first_of(L"\r\n")));
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& location) {
  std::wstring combined(base.size() + location.size() + 64, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = static_cast<DWORD>(combined.size());
    if (::InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &length, ICU_NO_ENCODE)) {
      combined.resize(length);
      return combined;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    combined.assign(length + 1, L'\0');
  }
  return location;
}

}  // namespace detail

HInternet InternetOpenW(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                        const std::string& proxyBypass, std::uint32_t) {
  if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
      accessType != INTERNET_OPEN_TYPE_PROXY) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  const std::wstring wideProxy = Wide(proxy);
  const std::wstring wideBypass = Wide(proxyBypass);
  const bool named = accessType == INTERNET_OPEN_TYPE_PROXY;
  auto session = std::make_shared<Session>();
  session->native = Hold(::InternetOpenW(Wide(agent).c_str(), accessType, named ? wideProxy.c_str() : nullptr,
                                         named && !proxyBypass.empty() ? wideBypass.c_str() : nullptr, 0),
                         nullptr);
  if (!session->native) return {};
  return HInternet(std::move(session));
}

bool InternetSetOptionW(const HInternet& handle, std::uint32_t option, std::uint32_t value) {
  auto* session = As<Session>(handle);
  if (!session) return false;
  const auto set = [&](DWORD systemOption, DWORD setting) {
    if (::InternetSetOptionW(session->native->get(), systemOption, &setting, sizeof setting)) return true;
    FailFromSystem();
    return false;
  };
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      session->options->connectTimeoutMs = value == 0 ? kDefaultConnectTimeoutMs : value;
      return set(INTERNET_OPTION_CONNECT_TIMEOUT, session->options->connectTimeoutMs);
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      session->options->receiveTimeoutMs = value == 0 ? kDefaultReceiveTimeoutMs : value;
      return set(INTERNET_OPTION_RECEIVE_TIMEOUT, session->options->receiveTimeoutMs);
    case INTERNET_OPTION_SECURITY_FLAGS:
      // The system takes them on a request handle only: each secured request gets them.
      session->options->securityFlags = value;
      return true;
    case ZEPHRON_OPTION_TRANSFER_TIME_LIMIT:
      session->options->transferTimeLimitMs = static_cast<long>(value);
      return true;
    default:
      Fail(ERROR_INTERNET_INVALID_OPTION);
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

}  // namespace zephron::transfer
