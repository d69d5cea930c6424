#include "tests/support/sandbox.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zephron::test {
namespace fs = std::filesystem;

Sandbox::Sandbox() {
  std::string pattern = (fs::temp_directory_path() / "zephron-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const auto& dir : {registryDir(), documents(), appData(), localAppData(), temp()}) fs::create_directories(dir);
  previousCwd_ = fs::current_path();
  SetEnv("ZEPHRON_REGISTRY_DIR", registryDir().string());
  SetEnv("HOME", home().string());
  SetEnv("XDG_CONFIG_HOME", appData().string());
  SetEnv("XDG_DATA_HOME", localAppData().string());
  SetEnv("XDG_DOCUMENTS_DIR", documents().string());
  SetEnv("TMPDIR", temp().string());
  SetEnv("ZEPHRON_SYSTEM_BITS", std::nullopt);
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::current_path(previousCwd_, ec);
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  fs::remove_all(root_, ec);
}

void Sandbox::SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (!saved_.contains(name)) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  ProcessResult result;
  int outPipe[2], inPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(inPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(inPipe[0], 0);
    ::dup2(outPipe[1], 1);
    ::dup2(outPipe[1], 2);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  if (pid > 0 && !input.empty()) {
    [[maybe_unused]] auto written = ::write(inPipe[1], input.data(), input.size());
  }
  ::close(inPipe[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(outPipe[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(n));
  ::close(outPipe[0]);
  if (pid < 0) return result;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

std::string AsUnprivilegedUser(const Sandbox& sandbox, const std::vector<fs::path>& owned,
                               const std::function<std::string()>& check) {
  if (::geteuid() != 0) return check();
  constexpr uid_t kNobody = 65534;
  constexpr gid_t kNoGroup = 65534;
  std::error_code ec;
  fs::permissions(sandbox.root(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec, ec);
  for (const auto& path : owned) {
    if (::lchown(path.c_str(), kNobody, kNoGroup) != 0) return "cannot hand " + path.string() + " over";
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (::lchown(it->path().c_str(), kNobody, kNoGroup) != 0) return "cannot hand " + it->path().string() + " over";
    }
  }
  int report[2];
  if (::pipe(report) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    std::string result;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0) {
      result = "cannot become nobody";
    } else {
      try {
        result = check();
      } catch (const std::exception& error) {
        result = std::string("exception: ") + error.what();
      }
    }
    [[maybe_unused]] const auto written = ::write(report[1], result.data(), result.size());
    ::_exit(0);
  }
  ::close(report[1]);
  std::string result;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(report[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<std::size_t>(n));
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return "the unprivileged check died" + (result.empty() ? std::string() : ": " + result);
  return result;
}

}  // namespace zephron::test
