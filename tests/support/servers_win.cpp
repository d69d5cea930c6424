// Windows test programs: the servers are the "servers" fixture's (started on
// the Linux side by servers.py fixture-start), named by the state file
// ZEPHRON_TEST_SERVERS points at; Linux paths are reached through Wine's Z: drive.
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

ScriptHttpServer::ScriptHttpServer(const std::string& address, int port) : address_(address) {
  if (address != "127.0.0.1" || port != 0) {
    throw std::runtime_error("the servers fixture has one HTTP helper, on 127.0.0.1 and a port of its choice");
  }
  port_ = Port("http_port");
}
ScriptHttpServer::~ScriptHttpServer() = default;

std::string ScriptHttpServer::Url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

BlackHole::BlackHole() : port_(Port("black_hole_port")) {}
BlackHole::~BlackHole() = default;

}  // namespace zephron::test
