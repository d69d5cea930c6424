// Windows test programs: the servers are the "servers" fixture's (started on
// the Linux side by servers.py fixture-start), named by the state file
// ZEPHRON_TEST_SERVERS points at; Linux paths are reached through Wine's Z: drive.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>

#include "tests/support/sandbox.h"
#include "tests/support/servers.h"

namespace zephron::test {
namespace fs = std::filesystem;

namespace {

fs::path FromLinux(const std::string& path) { return path.starts_with('/') ? fs::path("Z:" + path) : fs::path(path); }

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One value of the fixture's state; throws when the fixture is not running.
std::string Value(const std::string& name) {
  const char* state = std::getenv("ZEPHRON_TEST_SERVERS");
  const std::string path = state ? state : "";
  std::map<std::string, std::string> values;
  for (const auto& line : ReadLines(FromLinux(path))) {
    const auto space = line.find(' ');
    if (space != std::string::npos) values[line.substr(0, space)] = line.substr(space + 1);
  }
  const auto found = values.find(name);
  if (path.empty() || found == values.end()) {
    throw std::runtime_error("the servers fixture (servers.start) is not running: no " + name + " in '" + path + "'");
  }
  return found->second;
}

int Port(const std::string& name) { return std::stoi(Value(name)); }

}  // namespace

int FreePort(const std::string& address) {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  const SOCKET socket = started ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  if (socket == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  int length = sizeof addr;
  const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                     ::getsockname(socket, reinterpret_cast<sockaddr*>(&addr), &length) == 0;
  ::closesocket(socket);
  if (!bound) throw std::runtime_error("no free port on " + address);
  return ntohs(addr.sin_port);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const fs::path&) {
  throw std::runtime_error("a Windows test program does not start " + (argv.empty() ? "servers" : argv[0]));
}
ChildProcess::~ChildProcess() = default;

NginxServer::NginxServer() : dir_(FromLinux(Value("nginx_dir"))), port_(Port("nginx_port")), tlsPort_(Port("nginx_tls_port")) {}
NginxServer::~NginxServer() = default;

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::TlsUrl(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(tlsPort_) + path;
}

std::vector<std::string> NginxServer::AccessLog() const { return ReadLines(dir_ / "logs/access.log"); }

FtpServer::FtpServer() : dir_(FromLinux(Value("ftp_dir"))), port_(Port("ftp_port")) {}
FtpServer::~FtpServer() = default;

std::vector<std::string> FtpServer::CommandLog() const { return ReadLines(dir_ / "commands.log"); }

// The fixture's HTTP helper listens on 127.0.0.1 at a port of its choice, and
// again on port 80 of a loopback address of its own: asked for port 80 of
// any address, a test gets that one.
ScriptHttpServer::ScriptHttpServer(const std::string& address, int port) : address_(address) {
  if (port == 80) {
    address_ = Value("post_address");
    port_ = 80;
    return;
  }
  if (address != "127.0.0.1" || port != 0) {
    throw std::runtime_error("the servers fixture's HTTP helper is on 127.0.0.1 at a port of its choice or on port 80");
  }
  port_ = Port("http_port");
}
ScriptHttpServer::~ScriptHttpServer() = default;

std::string ScriptHttpServer::Url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

ProxyServer::ProxyServer(bool requireAuth)
    : dir_(FromLinux(Value(requireAuth ? "proxy_auth_dir" : "proxy_dir"))),
      port_(Port(requireAuth ? "proxy_auth_port" : "proxy_port")) {}
ProxyServer::~ProxyServer() = default;

std::string ProxyServer::Log() const { return ReadFile(dir_ / "proxy.log"); }

BlackHole::BlackHole() : port_(Port("black_hole_port")) {}
BlackHole::~BlackHole() = default;

}  // namespace zephron::test
