// Real servers for the transfer tests, started on free loopback ports and
// stopped again when the object goes (also when the test process dies: the
// children get SIGKILL with their parent).
//
// NginxServer: Debian's nginx with a generated configuration: static files
// under www/, a Basic-authentication area /private/, an area that always
// answers 401 (/denied/), a redirect (/redirect), 404 for missing files, the
// redirector /go/<path> answering 302 with /<path>, the same site over HTTPS with a freshly made self-signed certificate, and an
// access log that records the Authorization, cache and connection details of
// every request.
//
// FtpServer: pyftpdlib (Debian's python3-pyftpdlib) with one user account and
// anonymous access, passive and active mode, logging every command with the
// client's control port (one port = one control connection).
//
// ScriptHttpServer: a small Python HTTP server for what nginx cannot be made
// to do: echo a POST request (method, path, content type, body byte for byte;
// one under /fail500/ is answered "500 Internal Server Error" instead),
// cut a body off part way (/cut), stall in the middle of one (/stall), trickle
// one (/trickle: 2 bytes every 200 ms), send a chunked body of 64 MiB
// (/endless) or say nothing at all (/silent); reset the connection part way
// (/reset), send more than it announced (/long) or answer a GET with 500
// (/status500).
//
// BlackHole: a loopback port whose listener never accepts and whose queue is
// full: the kernel drops further connection requests, so a connect hangs.
//
// Test programs that cannot start processes (the Windows ones, under Wine)
// get nginx, the FTP server, the HTTP helper and the black hole from the
// "servers" test fixture instead (servers.py fixture-start), which runs them
// on the Linux side for the whole test run; those objects then name the
// fixture's servers, which all of the run's tests share.
//
// ProxyServer: Debian's tinyproxy with a generated configuration, optionally
// requiring Basic authentication; it tunnels HTTPS with CONNECT.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zephron::test {

// A child process killed (SIGTERM, then SIGKILL) and reaped on destruction.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& output = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// A TCP port on address that nothing listens on right now.
int FreePort(const std::string& address = "127.0.0.1");
// Waits until address:port accepts connections; false when it does not in time.
bool WaitForPort(const std::string& address, int port, int timeoutMs = 10000);

class NginxServer {
 public:
  static constexpr const char* kUser = "update";
  static constexpr const char* kPassword = "s3cret";

  // Throws std::runtime_error (with nginx's error log) when nginx cannot be started.
  NginxServer();
  ~NginxServer();

  int port() const { return port_; }
  int tlsPort() const { return tlsPort_; }
  // "http://127.0.0.1:<port>" + path, "https://127.0.0.1:<tls port>" + path.
  std::string Url(const std::string& path) const;
  std::string TlsUrl(const std::string& path) const;
  // The folder served at "/".
  std::filesystem::path DocRoot() const { return dir_ / "www"; }
  // The access log lines so far: "METHOD URI STATUS auth=<...> conn=<n> req=<n> cc=<...> pragma=<...> ua=<...>".
  std::vector<std::string> AccessLog() const;

 private:
  std::filesystem::path dir_;
  int port_ = 0;
  int tlsPort_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

class FtpServer {
 public:
  static constexpr const char* kUser = "ftpuser";
  static constexpr const char* kPassword = "ftppass";

  FtpServer();
  ~FtpServer();

  int port() const { return port_; }
  // The user's home folder and the anonymous user's.
  std::filesystem::path UserRoot() const { return dir_ / "user"; }
  std::filesystem::path AnonymousRoot() const { return dir_ / "anon"; }
  // Every command received so far: "<client control port> <COMMAND> <argument>".
  std::vector<std::string> CommandLog() const;

 private:
  std::filesystem::path dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

class ScriptHttpServer {
 public:
  // Listens on address:port (port 0: a free one).
  explicit ScriptHttpServer(const std::string& address = "127.0.0.1", int port = 0);
  ~ScriptHttpServer();

  const std::string& address() const { return address_; }
  int port() const { return port_; }
  std::string Url(const std::string& path) const;

 private:
  std::filesystem::path dir_;
  std::string address_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

class BlackHole {
 public:
  BlackHole();
  ~BlackHole();
  BlackHole(const BlackHole&) = delete;
  BlackHole& operator=(const BlackHole&) = delete;
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> clients_;
};

class ProxyServer {
 public:
  static constexpr const char* kUser = "proxyuser";
  static constexpr const char* kPassword = "proxypass";

  explicit ProxyServer(bool requireAuth = false);
  ~ProxyServer();

  int port() const { return port_; }
  // "127.0.0.1:<port>", as a proxy name.
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The proxy's log so far (one line per event, requests included).
  std::string Log() const;

 private:
  std::filesystem::path dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace zephron::test
