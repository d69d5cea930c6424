// Windows builds only, internal to transfer/: the handle objects of the
// Internet layer over the system's own WinINet handles, which the session,
// HTTP, FTP and redirector-client units share. Nothing outside transfer/
// includes this header; internet.h is the public one.
//
// Each object owns its HINTERNET through a shared holder that the objects
// opened from it keep too: InternetCloseHandle closes our handle for every
// copy at once, while the system's handle goes when nothing opened from it
// needs it any more (the system would close the children with it).
#pragma once

// Our names of the library's values come first: the system's headers define
// the same names as macros (with the same values), which the code below uses.
#include "transfer/internet.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/last_error.h"
#include "platform/win32_text.h"

namespace zephron::transfer::detail {

using Clock = std::chrono::steady_clock;

// The library's defaults when the host sets no time-out.
constexpr DWORD kDefaultConnectTimeoutMs = 60000;
constexpr DWORD kDefaultReceiveTimeoutMs = 30000;
constexpr int kMaxRedirects = 10;

inline void Fail(std::uint32_t code, std::string text = {}) { platform::SetLastSystemError(code, std::move(text)); }
// The failure the system's last call reported.
inline void FailFromSystem() { Fail(static_cast<std::uint32_t>(::GetLastError())); }

// The system's last response text (FTP reply) of this thread.
std::string SystemResponse();
// That text kept as ours (InternetGetLastResponseInfoW), when there is one.
void TakeSystemResponse();

// Names under the special-use domain "invalid", which never resolve.
bool IsInvalidDomain(std::string_view host);

// A system handle, closed when its last holder goes, or at once by CloseNow
// (which also ends a call that another thread is blocked in). It holds the
// handle it was opened from, which the system would close it with.
class NativeHandle;
using NativePtr = std::shared_ptr<NativeHandle>;
class NativeHandle {
 public:
  NativeHandle(HINTERNET handle, NativePtr parent) : handle_(handle), parent_(std::move(parent)) {}
  NativeHandle(const NativeHandle&) = delete;
  NativeHandle& operator=(const NativeHandle&) = delete;
  ~NativeHandle() { CloseNow(); }
  HINTERNET get() const { return handle_.load(); }
  void CloseNow() {
    if (HINTERNET handle = handle_.exchange(nullptr)) ::InternetCloseHandle(handle);
  }

 private:
  std::atomic<HINTERNET> handle_;
  NativePtr parent_;
};

// The holder of a handle opened from parent; an empty pointer for a failed
// open (the last error taken from the system).
inline NativePtr Hold(HINTERNET handle, NativePtr parent) {
  if (!handle) {
    FailFromSystem();
    return nullptr;
  }
  return std::make_shared<NativeHandle>(handle, std::move(parent));
}

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

// The options of a session that the system does not keep itself, shared
// with the handles opened on it (a change applies to their later requests).
struct SessionOptions {
  DWORD connectTimeoutMs = kDefaultConnectTimeoutMs;
  DWORD receiveTimeoutMs = kDefaultReceiveTimeoutMs;
  DWORD securityFlags = 0;
  long transferTimeLimitMs = 0;  // 0: no overall bound, only the idle time-outs
};

// A session: the system's session handle and our options.
class Session : public HandleObject {
 public:
  NativePtr native;
  std::shared_ptr<SessionOptions> options = std::make_shared<SessionOptions>();

 protected:
  void Release() override { native.reset(); }
};

// The time-outs of the options set on a connection, request or file handle:
// the system does not hand a session's on to the handles opened from it.
void ApplyTimeouts(HINTERNET handle, const SessionOptions& options);

// Runs a blocking system call on a thread of its own and waits for it at most
// timeoutMs, and not past deadline: the system does not bound every wait (a
// connect to a server that never answers, a reply that never comes). call
// gives its success and may make a handle. In time, the call's last error
// and response text become this thread's and its handle goes to made. Else
// the handles in cancel are closed (which ends the call where the system
// can), the last error is the time-out, and the call is left to end on its
// own; a handle it makes then is closed.
bool RunBounded(DWORD timeoutMs, std::optional<Clock::time_point> deadline, std::function<bool(HINTERNET&)> call,
                const std::vector<NativePtr>& cancel, HINTERNET* made = nullptr);

// A request whose body is read with InternetReadFile: an HTTP request or an FTP file.
class ReadableHandle : public HandleObject {
 public:
  virtual bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) = 0;
};

// Reads a system request or file handle: each read fills the buffer unless
// the data ends, and a transfer that passes its deadline is closed (the
// read fails with a time-out, as every later one does).
class BodyReader {
 public:
  explicit BodyReader(NativePtr handle) : handle_(std::move(handle)) {}

  // The overall deadline, and the receive time-out after which a failed read counts as timed out.
  void SetLimits(std::optional<Clock::time_point> deadline, DWORD receiveTimeoutMs) {
    deadline_ = deadline;
    receiveTimeoutMs_ = receiveTimeoutMs;
  }
  // False (last error set) when the transfer failed; a failure after some
  // bytes shows at the next read, the bytes are delivered first.
  bool Read(std::span<std::byte> out, std::uint32_t& read);
  // True (and the transfer closed, the last error set) when the deadline has passed.
  bool DeadlinePassed();
  void Reset() { handle_.reset(); }
  HINTERNET get() const { return handle_ ? handle_->get() : nullptr; }
  const NativePtr& native() const { return handle_; }
  std::uint64_t total() const { return total_; }
  bool ended() const { return ended_; }

 private:
  NativePtr handle_;
  std::optional<Clock::time_point> deadline_;
  DWORD receiveTimeoutMs_ = kDefaultReceiveTimeoutMs;
  std::uint64_t total_ = 0;
  bool ended_ = false;
  bool timedOut_ = false;
  DWORD pendingError_ = 0;
};

// The deadline of a transfer started now under these options (none without a limit).
inline std::optional<Clock::time_point> TransferDeadline(const SessionOptions& options) {
  if (options.transferTimeLimitMs <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(options.transferTimeLimitMs);
}

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

// A URL taken apart by the system.
struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring user;
  std::wstring password;
  std::wstring object;  // path and query, "/" at least
};
std::optional<UrlParts> CrackUrl(const std::wstring& url);

// The first line of an HTTP answer ("HTTP/1.1 200 OK"), empty when there is none.
std::string StatusLine(HINTERNET request);
// A numeric header of an HTTP answer; nullopt when it has none.
std::optional<DWORD> NumericHeader(HINTERNET request, DWORD info);
// A text header of an HTTP answer; nullopt when it has none.
std::optional<std::wstring> TextHeader(HINTERNET request, DWORD info);
// location resolved against the URL it was the answer to.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& location);

// Our handle for the system's HTTP connection handle (nothing is sent until
// a request is opened on it).
HInternet ConnectHttp(const Session& session, NativePtr connection);

}  // namespace zephron::transfer::detail
