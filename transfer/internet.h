// The platform's Internet client library (WinInet: InternetOpenW,
// InternetOpenUrlW, HttpQueryInfoW, InternetReadFile, InternetConnectW, the
// Ftp* calls, HttpOpenRequestW/HttpSendRequestA, InternetSetOptionW,
// InternetCloseHandle, InternetGetLastResponseInfoW) and its dial-up calls
// (InternetAutodial, InternetAutodialHangup, InternetGetConnectedState): on
// Windows the system's own library behind this interface, elsewhere a
// stand-in built on libcurl.
//
// Handles behave like the library's HINTERNET values: a handle may be copied
// (several names for one open handle), InternetCloseHandle closes the handle
// for every copy, and the last copy to go closes it too. Every failing call
// sets the thread's last system error (platform/last_error.h) with the
// library's error numbers; InternetGetLastResponseInfoW gives the last line a
// server answered (FTP reply or HTTP status line).
//
// Bodies are streamed: a request holds at most a bounded amount of received
// data, whatever the size of the file.
//
// HTTP connections are kept alive in one pool per process, as the library
// keeps them: a request reuses a connection to the same server (and proxy)
// that an earlier request of any session left open, so a series of requests
// to one server, also across sessions, goes over one connection.
// INTERNET_FLAG_KEEP_CONNECTION and INTERNET_FLAG_EXISTING_CONNECT are
// accepted; they ask for what the pool does anyway.
//
// Host names under the special-use domain "invalid" never resolve: they fail
// with ERROR_INTERNET_NAME_NOT_RESOLVED at once, without a resolver.
//
// Connectivity: Linux has no dial-up, so InternetAutodial and
// InternetAutodialHangup answer -1 ("function not found"); the connected state
// comes from the network interfaces (one that is up besides loopback). On
// Windows all three are the system's calls. On both, the environment variable
// ZEPHRON_OFFLINE=1 makes the machine count as offline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zephron::transfer {

// ---- Values of the library's flags and options ----
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;

inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;
inline constexpr std::uint32_t INTERNET_FLAG_EXISTING_CONNECT = 0x20000000u;
inline constexpr std::uint32_t INTERNET_FLAG_PASSIVE = 0x08000000u;
inline constexpr std::uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000u;
inline constexpr std::uint32_t INTERNET_FLAG_KEEP_CONNECTION = 0x00400000u;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000u;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000u;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000u;
inline constexpr std::uint32_t INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100u;

inline constexpr std::uint32_t INTERNET_SERVICE_FTP = 1;
inline constexpr std::uint32_t INTERNET_SERVICE_HTTP = 3;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;

inline constexpr std::uint32_t INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr std::uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr std::uint32_t INTERNET_OPTION_SECURITY_FLAGS = 31;
// Not the library's: an overall time limit (milliseconds, 0 none) for each
// transfer started on the session from then on, from the request to its last
// byte, on top of the idle time-outs.
inline constexpr std::uint32_t ZEPHRON_OPTION_TRANSFER_TIME_LIMIT = 0x10001u;

inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100u;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000u;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000u;

inline constexpr std::uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr std::uint32_t HTTP_QUERY_STATUS_CODE = 19;
inline constexpr std::uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000u;

inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t FTP_TRANSFER_TYPE_BINARY = 2;

inline constexpr std::uint32_t INTERNET_AUTODIAL_FORCE_ONLINE = 1;
inline constexpr std::uint32_t INTERNET_AUTODIAL_FORCE_UNATTENDED = 2;

inline constexpr std::uint32_t INTERNET_CONNECTION_MODEM = 0x01;
inline constexpr std::uint32_t INTERNET_CONNECTION_LAN = 0x02;
inline constexpr std::uint32_t INTERNET_CONNECTION_PROXY = 0x04;
inline constexpr std::uint32_t INTERNET_CONNECTION_OFFLINE = 0x20;
inline constexpr std::uint32_t INTERNET_CONNECTION_CONFIGURED = 0x40;

// Error numbers of the library that callers look at.
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NO_MORE_FILES = 18;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr std::uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr std::uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr std::uint32_t ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr std::uint32_t ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr std::uint32_t ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;

// The directory entry FtpFindFirstFileW delivers (the fields the updater reads).
struct WIN32_FIND_DATAW {
  std::string cFileName;
  std::uint32_t nFileSizeHigh = 0;
  std::uint32_t nFileSizeLow = 0;
};

namespace detail {
class HandleObject;
}

// An Internet handle (HINTERNET): empty, or one open session, connection,
// request or search. Copies name the same handle.
class HInternet {
 public:
  HInternet() = default;
  explicit HInternet(std::shared_ptr<detail::HandleObject> object) : object_(std::move(object)) {}

  explicit operator bool() const;
  bool operator==(const HInternet& other) const { return object_ == other.object_; }

  detail::HandleObject* get() const { return object_.get(); }
  void reset() { object_.reset(); }

 private:
  std::shared_ptr<detail::HandleObject> object_;
};

// Opens a session. With INTERNET_OPEN_TYPE_PROXY, proxy names the proxy
// ("host:port" or a URL); with INTERNET_OPEN_TYPE_PRECONFIG the system's
// settings (http_proxy, https_proxy, ftp_proxy, no_proxy) apply. An empty
// handle on failure.
HInternet InternetOpenW(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                        const std::string& proxyBypass, std::uint32_t flags);

// Session options: the connect and receive time-outs (milliseconds; 0 keeps
// the default), the security flags (SECURITY_FLAG_IGNORE_...) and
// ZEPHRON_OPTION_TRANSFER_TIME_LIMIT.
bool InternetSetOptionW(const HInternet& handle, std::uint32_t option, std::uint32_t value);

// Opens an HTTP, HTTPS or FTP URL on a session and waits for the server's
// answer (for HTTP the final status, after redirects). headers is extra
// request header text ("Name: value" lines ended by CR LF). A user and
// password in the URL ("http://user:pw@host/") are the proxy's credentials:
// they go to the proxy, never to the server. The status of an HTTPS request
// through a proxy is the server's, not the proxy's answer to CONNECT. An
// https request follows only https redirects (else the last error is
// ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR).
HInternet InternetOpenUrlW(const HInternet& session, const std::string& url, const std::string& headers,
                           std::uint32_t flags, std::uintptr_t context);

// Numeric header information of an HTTP request (HTTP_QUERY_STATUS_CODE or
// HTTP_QUERY_CONTENT_LENGTH, with HTTP_QUERY_FLAG_NUMBER). False (last error
// 12150) when the response has no such header.
bool HttpQueryInfoW(const HInternet& request, std::uint32_t infoLevel, std::uint32_t& value);

// Reads the next bytes of a request or FTP file into buffer, waiting until it
// is full (as the library's synchronous reads do); read is less than
// buffer.size() only where the data ends, and 0 after its end. False when
// the transfer failed (cut off, time-out, ...).
bool InternetReadFile(const HInternet& file, std::span<std::byte> buffer, std::uint32_t& read);

// An HTTP connection (nothing is sent yet) or a logged-in FTP session. For FTP
// an empty user logs on anonymously; INTERNET_FLAG_PASSIVE selects passive
// data connections, else active ones.
HInternet InternetConnectW(const HInternet& session, const std::string& server, std::uint16_t port,
                           const std::string& user, const std::string& password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t context);

// FTP operations on the logged-in session of InternetConnectW. Names are
// relative to the server's current directory.
bool FtpSetCurrentDirectoryW(const HInternet& connection, const std::string& directory);
HInternet FtpFindFirstFileW(const HInternet& connection, const std::string& name, WIN32_FIND_DATAW& found,
                            std::uint32_t flags, std::uintptr_t context);
HInternet FtpOpenFileW(const HInternet& connection, const std::string& name, std::uint32_t access,
                       std::uint32_t flags, std::uintptr_t context);

// An HTTP request on a connection; HttpSendRequestA sends it with extra
// headers and a body and waits for the server's answer.
HInternet HttpOpenRequestW(const HInternet& connection, const std::string& verb, const std::string& objectName,
                           const std::string& version, const std::string& referrer, std::uint32_t flags,
                           std::uintptr_t context);
bool HttpSendRequestA(const HInternet& request, const std::string& headers, std::string_view body);

// Closes the handle (for every copy of it) and empties this one. False when it was empty.
bool InternetCloseHandle(HInternet& handle);

// The last server response line of the calling thread (FTP reply, HTTP status line).
std::string InternetGetLastResponseInfoW();

// Dial-up: -1 means "function not available" (no dial-up on this platform);
// on Windows the system's answer, 1 (done) or 0.
int InternetAutodial(std::uint32_t flags, std::uintptr_t parentWindow);
int InternetAutodialHangup(std::uint32_t reserved);
// Non-zero when the machine is online, with the INTERNET_CONNECTION_... bits in flags.
int InternetGetConnectedState(std::uint32_t& flags, std::uint32_t reserved);

}  // namespace zephron::transfer
