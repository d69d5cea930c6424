#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/ascii_case.h"
#include "platform/last_error.h"
#include "platform/special_folders.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> LookUp(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (IsExecutableFile(name)) return name;
    return std::nullopt;
  }
  std::vector<std::string> folders;
  if (const std::string own = ProgramFolder(); !own.empty()) folders.push_back(own);
  folders.emplace_back(".");
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (true) {
      const auto colon = rest.find(':');
      const std::string_view folder = rest.substr(0, colon);
      folders.emplace_back(folder.empty() ? "." : std::string(folder));
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  for (const std::string& folder : folders) {
    const std::string candidate = folder == "." ? fs::absolute(name).string() : folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

// argv as exec wants it, built before fork: the child may only make
// async-signal-safe calls.
struct ExecArguments {
  explicit ExecArguments(const std::vector<std::string>& args) : strings(args) {
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
  }
  std::vector<std::string> strings;
  std::vector<char*> pointers;
};

struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return ::pipe2(fd, O_CLOEXEC) == 0; }
  void CloseRead() { Close(0); }
  void CloseWrite() { Close(1); }
  void Close(int i) {
    if (fd[i] >= 0) ::close(fd[i]);
    fd[i] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
};

// Messages from the started side: 'E' + errno when exec failed, 'X' + the
// wait status when the program ended (only when its end is watched).
struct Message {
  char kind;
  int value;
};

void WriteMessage(int fd, char kind, int value) {
  const Message message{kind, value};
  [[maybe_unused]] const ssize_t n = ::write(fd, &message, sizeof message);
}

[[noreturn]] void ExecOrReport(const std::string& program, char* const* argv, int reportFd) {
  ::execv(program.c_str(), argv);
  WriteMessage(reportFd, 'E', errno);
  ::_exit(127);
}

std::uint32_t ErrorOfErrno(int error) {
  if (error == ENOENT || error == ENOTDIR) return kErrorFileNotFound;
  if (error == EACCES || error == EPERM || error == ENOEXEC) return kErrorAccessDenied;
  return kErrorNotEnoughMemory;
}

// Reads one message within the time given (negative: until the writers are gone).
std::optional<Message> ReadMessage(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Message message{};
  std::size_t got = 0;
  while (got < sizeof message) {
    int wait = -1;
    if (timeout.count() >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      wait = static_cast<int>(left.count());
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    const ssize_t n = ::read(fd, reinterpret_cast<char*>(&message) + got, sizeof message - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return message;
}

struct DetachedResult {
  bool started = false;
  int execError = 0;                // errno of a failed exec
  std::optional<int> waitStatus;    // when the end was watched and came in time
};

// Starts the program in a session of its own whose parent is not this
// process, so it outlives us and leaves no zombie behind. With a positive
// watch time a small waiter process reports the program's end.
DetachedResult StartDetached(const std::string& program, const std::vector<std::string>& args,
                             std::chrono::milliseconds watch) {
  DetachedResult result;
  ExecArguments argv(args);
  Pipe report;
  if (!report.Open()) {
    result.execError = errno;
    return result;
  }
  const pid_t middle = ::fork();
  if (middle < 0) {
    result.execError = errno;
    return result;
  }
  if (middle == 0) {
    ::close(report.fd[0]);
    ::setsid();
    const pid_t next = ::fork();
    if (next != 0) ::_exit(next < 0 ? 1 : 0);
    if (watch.count() <= 0) ExecOrReport(program, argv.pointers.data(), report.fd[1]);
    // The waiter: it keeps the report pipe open and tells the program's end.
    const pid_t target = ::fork();
    if (target == 0) ExecOrReport(program, argv.pointers.data(), report.fd[1]);
    int status = 0;
    while (target > 0 && ::waitpid(target, &status, 0) < 0 && errno == EINTR) {
    }
    if (target > 0) WriteMessage(report.fd[1], 'X', status);
    ::_exit(0);
  }
  report.CloseWrite();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  const auto message = ReadMessage(report.fd[0], watch.count() > 0 ? watch : std::chrono::milliseconds(-1));
  if (message && message->kind == 'E') {
    result.execError = message->value;
    return result;
  }
  result.started = true;
  if (message && message->kind == 'X') result.waitStatus = message->value;
  return result;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

std::mutex gOpenerMutex;
TDocumentOpener gOpener;

bool OpenWithXdgOpen(const std::string& target) {
  const auto opener = FindProgram("xdg-open");
  if (!opener) return false;
  // xdg-open ends once it has handed the target on, with a non-zero status
  // when nothing takes it; one still busy after a while has shown something.
  const DetachedResult started = StartDetached(*opener, {*opener, target}, std::chrono::seconds(5));
  if (!started.started) return false;
  return !started.waitStatus || ExitCodeOf(*started.waitStatus) == 0;
}

}  // namespace

void WaitForProcessEnd(long pid) {
  if (pid <= 0) return;
  // Through a pidfd where the kernel has them, else by probing the process.
#ifdef SYS_pidfd_open
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (fd >= 0) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return;
  }
  if (errno != ENOSYS) return;
#endif
  while (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void DeleteOwnProgramFile(const std::string& path) {
  // The running image stays mapped; its name can go now.
  ::unlink(path.c_str());
}

void PrependToSearchPath(const std::string& folder) {
  const char* path = std::getenv("PATH");
  ::setenv("PATH", (folder + (path && *path ? std::string(":") + path : std::string())).c_str(), 1);
}

std::optional<std::string> FindProgram(std::string_view name) {
  const std::string text(name);
  if (auto found = LookUp(text)) return found;
  if (text.size() > 4 && SameTextAscii(std::string_view(text).substr(text.size() - 4), ".exe")) {
    return LookUp(text.substr(0, text.size() - 4));
  }
  return std::nullopt;
}

std::optional<std::uint32_t> StartAndWait(std::string_view commandLine, WindowState) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) {
    SetLastSystemError(kErrorFileNotFound);
    return std::nullopt;
  }
  const auto program = FindProgram(args[0]);
  if (!program) {
    SetLastSystemError(kErrorFileNotFound);
    return std::nullopt;
  }
  ExecArguments argv(args);
  Pipe report;
  if (!report.Open()) {
    SetLastSystemError(kErrorNotEnoughMemory);
    return std::nullopt;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    SetLastSystemError(kErrorNotEnoughMemory);
    return std::nullopt;
  }
  if (child == 0) {
    ::close(report.fd[0]);
    ExecOrReport(*program, argv.pointers.data(), report.fd[1]);
  }
  report.CloseWrite();
  const auto failure = ReadMessage(report.fd[0], std::chrono::milliseconds(-1));
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (failure) {
    SetLastSystemError(ErrorOfErrno(failure->value));
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(ExitCodeOf(status));
}

std::uint32_t WinExec(std::string_view commandLine, WindowState) {
  const std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) return kErrorFileNotFound;
  const auto program = FindProgram(args[0]);
  if (!program) return kErrorFileNotFound;
  const DetachedResult started = StartDetached(*program, args, std::chrono::milliseconds(0));
  if (started.started) return 33;
  return started.execError == 0 ? 0 : ErrorOfErrno(started.execError);
}

std::intptr_t ShellExecuteOpen(std::string_view file, std::string_view parameters, WindowState) {
  constexpr std::intptr_t kStarted = 42;
  constexpr std::intptr_t kNoAssociation = 31;
  const std::string target(file);
  if (target.empty()) return static_cast<std::intptr_t>(kErrorFileNotFound);
  const bool url = target.find("://") != std::string::npos;
  if (!url) {
    if (const auto program = FindProgram(target)) {
      std::vector<std::string> args{*program};
      if (!parameters.empty()) {
        // The parameters are a command line without its program name.
        std::vector<std::string> rest = SplitCommandLine("x " + std::string(parameters));
        args.insert(args.end(), rest.begin() + 1, rest.end());
      }
      const DetachedResult started = StartDetached(*program, args, std::chrono::milliseconds(0));
      return started.started ? kStarted : static_cast<std::intptr_t>(kErrorFileNotFound);
    }
    // A bare program name that is not found is not a document either.
    const bool document = target.find('/') != std::string::npos || fs::exists(target);
    if (!document) return static_cast<std::intptr_t>(kErrorFileNotFound);
  }
  return OpenDocument(target) ? kStarted : kNoAssociation;
}

void SetDocumentOpener(TDocumentOpener opener) {
  std::lock_guard lock(gOpenerMutex);
  gOpener = std::move(opener);
}

bool OpenDocument(const std::string& target) {
  TDocumentOpener opener;
  {
    std::lock_guard lock(gOpenerMutex);
    opener = gOpener;
  }
  return opener ? opener(target) : OpenWithXdgOpen(target);
}

}  // namespace zephron::platform
