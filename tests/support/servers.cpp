#include "tests/support/servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/sandbox.h"

namespace zephron::test {
namespace fs = std::filesystem;

namespace {

fs::path MakeTempDir(const std::string& tag) {
  std::string pattern = (fs::temp_directory_path() / ("zephron-" + tag + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Run(const std::vector<std::string>& argv) {
  const ProcessResult result = RunProgram(argv);
  if (result.exitCode != 0) throw std::runtime_error(argv[0] + " failed: " + result.output);
  return result.output;
}

constexpr const char* kPython = "/usr/bin/python3";

void RequireProgram(const std::string& path) {
  if (::access(path.c_str(), X_OK) != 0) throw std::runtime_error(path + " is not installed");
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const fs::path& output) {
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Nothing may outlive a test run, even one that crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, 0);
    if (!output.empty()) {
      const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
    }
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, nullptr, WNOHANG) == 0) return true;
  pid_ = -1;  // reaped: the number may be reused, never signal it again
  return false;
}

int FreePort(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  addr.sin_port = 0;
  socklen_t length = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("no free port on " + address);
  }
  ::close(fd);
  return ntohs(addr.sin_port);
}

bool WaitForPort(const std::string& address, int port, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// ---- nginx ----

NginxServer::NginxServer() : dir_(MakeTempDir("nginx")) {
  RequireProgram("/usr/sbin/nginx");
  RequireProgram("/usr/bin/openssl");
  RequireProgram(kPython);
  port_ = FreePort();
  tlsPort_ = FreePort();
  const std::string d = dir_.string();
  // The site (configuration, certificate, password files) comes from the
  // script, which also sets it up for the test programs that cannot start nginx.
  Run({kPython, ZEPHRON_SERVERS_SCRIPT, "nginx-setup", d, std::to_string(port_), std::to_string(tlsPort_), kUser,
       kPassword});
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/sbin/nginx", "-p", d, "-e", d + "/logs/error.log", "-c", d + "/nginx.conf"},
      dir_ / "logs/stdout.log");
  if (!WaitForPort("127.0.0.1", port_) || !process_->Running()) {
    const std::string log = ReadFile(dir_ / "logs/error.log") + ReadFile(dir_ / "logs/stdout.log");
    process_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
    throw std::runtime_error("nginx did not start: " + log);
  }
}

NginxServer::~NginxServer() {
  process_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::TlsUrl(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(tlsPort_) + path;
}

std::vector<std::string> NginxServer::AccessLog() const { return ReadLines(dir_ / "logs/access.log"); }

// ---- pyftpdlib ----

namespace {
void RequirePyftpdlib() {
  RequireProgram(kPython);
  const ProcessResult probe = RunProgram({kPython, "-c", "import pyftpdlib"});
  if (probe.exitCode != 0) throw std::runtime_error("pyftpdlib is not installed: " + probe.output);
}
}  // namespace

FtpServer::FtpServer() : dir_(MakeTempDir("ftp")) {
  RequirePyftpdlib();
  fs::create_directories(UserRoot());
  fs::create_directories(AnonymousRoot());
  port_ = FreePort();
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{kPython, ZEPHRON_SERVERS_SCRIPT, "ftp", dir_.string(), std::to_string(port_), kUser,
                               kPassword, (dir_ / "commands.log").string()},
      dir_ / "server.log");
  if (!WaitForPort("127.0.0.1", port_) || !process_->Running()) {
    const std::string log = ReadFile(dir_ / "server.log");
    process_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
    throw std::runtime_error("FTP server did not start: " + log);
  }
}

FtpServer::~FtpServer() {
  process_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::vector<std::string> FtpServer::CommandLog() const { return ReadLines(dir_ / "commands.log"); }

// ---- Python HTTP helper ----

ScriptHttpServer::ScriptHttpServer(const std::string& address, int port)
    : dir_(MakeTempDir("http")), address_(address), port_(port == 0 ? FreePort(address) : port) {
  RequireProgram(kPython);
  // A fixed port may still be held by the same server of a test running in
  // parallel: wait for it to be given up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(port == 0 ? 10 : 120);
  std::string log;
  while (std::chrono::steady_clock::now() < deadline) {
    const fs::path output = dir_ / "server.log";
    std::error_code ec;
    fs::remove(output, ec);
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kPython, ZEPHRON_SERVERS_SCRIPT, "http", address_, std::to_string(port_)}, output);
    while (process_->Running() && ReadFile(output).find("listening") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    log = ReadFile(output);
    if (log.find("listening") != std::string::npos && process_->Running()) return;
    process_.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  process_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
  throw std::runtime_error("HTTP helper did not start on " + address_ + ":" + std::to_string(port_) + ": " + log);
}

ScriptHttpServer::~ScriptHttpServer() {
  process_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string ScriptHttpServer::Url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

// ---- black hole ----

BlackHole::BlackHole() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 0);
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  for (int i = 0; i < 3; ++i) {
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    clients_.push_back(client);
  }
}

BlackHole::~BlackHole() {
  for (const int client : clients_) ::close(client);
  ::close(listener_);
}

// ---- tinyproxy ----

ProxyServer::ProxyServer(bool requireAuth) : dir_(MakeTempDir("proxy")) {
  RequireProgram("/usr/bin/tinyproxy");
  port_ = FreePort();
  const std::string d = dir_.string();
  std::ostringstream conf;
  conf << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nLogLevel Info\n"
       << "LogFile \"" << d << "/proxy.log\"\nPidFile \"" << d << "/proxy.pid\"\n";
  if (requireAuth) conf << "BasicAuth " << kUser << " " << kPassword << "\n";
  WriteFile(dir_ / "proxy.conf", conf.str());
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", d + "/proxy.conf"}, dir_ / "stdout.log");
  if (!WaitForPort("127.0.0.1", port_) || !process_->Running()) {
    const std::string log = ReadFile(dir_ / "stdout.log") + ReadFile(dir_ / "proxy.log");
    process_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
    throw std::runtime_error("tinyproxy did not start: " + log);
  }
}

ProxyServer::~ProxyServer() {
  process_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string ProxyServer::Log() const { return ReadFile(dir_ / "proxy.log"); }

}  // namespace zephron::test
