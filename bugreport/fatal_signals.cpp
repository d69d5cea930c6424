#include "bugreport/fatal_signals.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string_view>

#include "bugreport/fault_file.h"
#include "bugreport/report_text.h"
#include "bugreport/stack_trace.h"
#include "platform/special_folders.h"

extern char** environ;

namespace zephron::bugreport {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Everything the handler needs is prepared at installation, so that it has
// nothing to compute, allocate or look up.
char gFaultFile[4096];
char gPreamble[8192];
std::size_t gPreambleLength = 0;
char gReporter[4096];
char gReporterOption[32];
char* gReporterArgv[4];
char gTerminateWhat[2048];
alignas(16) char gAltStack[1 << 16];
volatile sig_atomic_t gHandling = 0;

// ---- async-signal-safe writing ----

void Put(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

void Put(int fd, const char* text) { Put(fd, text, std::strlen(text)); }

void PutNumber(int fd, unsigned long long value, unsigned base) {
  char digits[32];
  const char* first = FormatDigits(digits, sizeof digits, value, base);
  if (base == 16) Put(fd, "0x");
  Put(fd, first, static_cast<std::size_t>(digits + sizeof digits - first));
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

void CopyFile(int to, const char* path) {
  const int from = ::open(path, O_RDONLY | O_CLOEXEC);
  if (from < 0) return;
  char buffer[4096];
  for (ssize_t got; (got = ::read(from, buffer, sizeof buffer)) > 0;) Put(to, buffer, static_cast<std::size_t>(got));
  ::close(from);
}

void StartReporter() {
  if (gReporter[0] == '\0') return;
  // A raw fork: no fork handlers of the failing process run in the child,
  // which only detaches and replaces itself.
  const long child = ::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
  if (child == 0) {
    ::syscall(SYS_setsid);
    ::execve(gReporter, gReporterArgv, environ);
    ::syscall(SYS_exit_group, 127);
  }
}

// Where the thread stood when the signal came.
std::uintptr_t InterruptedAt(void* context) {
  const auto* state = static_cast<const ucontext_t*>(context);
  if (state == nullptr) return 0;
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(state->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
  return static_cast<std::uintptr_t>(state->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
  return static_cast<std::uintptr_t>(state->uc_mcontext.pc);
#else
  return 0;
#endif
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  if (gHandling == 0) {
    gHandling = 1;
    const int fd = ::open(gFaultFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
      Put(fd, kFaultFileTag);
      Put(fd, "\nsignal ");
      PutNumber(fd, static_cast<unsigned>(signal), 10);
      Put(fd, " ");
      Put(fd, SignalName(signal));
      Put(fd, "\naddress ");
      PutNumber(fd, reinterpret_cast<std::uintptr_t>(info != nullptr ? info->si_addr : nullptr), 16);
      Put(fd, "\npc ");
      PutNumber(fd, InterruptedAt(context), 16);
      Put(fd, "\nthread ");
      PutNumber(fd, static_cast<unsigned long long>(::syscall(SYS_gettid)), 10);
      Put(fd, "\nprocess ");
      PutNumber(fd, static_cast<unsigned long long>(::getpid()), 10);
      timespec now{};
      ::clock_gettime(CLOCK_REALTIME, &now);
      Put(fd, "\ntime ");
      PutNumber(fd, static_cast<unsigned long long>(now.tv_sec), 10);
      if (gTerminateWhat[0] != '\0') {
        Put(fd, "\nterminate ");
        Put(fd, gTerminateWhat);
      }
      Put(fd, "\n");
      Put(fd, gPreamble, gPreambleLength);
      Put(fd, "frames\n");
      void* frames[128];
      const int count = ::backtrace(frames, 128);
      for (int i = 1; i < count; ++i) {  // 0 is this handler
        PutNumber(fd, reinterpret_cast<std::uintptr_t>(frames[i]), 16);
        Put(fd, "\n");
      }
      Put(fd, "maps\n");
      CopyFile(fd, "/proc/self/maps");
      ::close(fd);
      StartReporter();
    }
  }
  // Die of the same signal: once this handler returns, the signal sent here
  // (blocked until then) takes its default action.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  ::syscall(SYS_tgkill, ::getpid(), ::syscall(SYS_gettid), signal);
}

void OnTerminate() {
  std::string what = "std::terminate called";
  if (const std::exception_ptr error = std::current_exception()) {
    what += " with an uncaught exception " + DescribeException(error);
  }
  const std::size_t length = std::min(what.size(), sizeof gTerminateWhat - 1);
  std::memcpy(gTerminateWhat, what.data(), length);
  gTerminateWhat[length] = '\0';
  for (char& c : gTerminateWhat) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::abort();
}

void CopyText(char* to, std::size_t capacity, const std::string& text) {
  const std::size_t length = std::min(text.size(), capacity - 1);
  std::memcpy(to, text.data(), length);
  to[length] = '\0';
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

bool InstallFatalHandlers(const std::string& reporter) {
  const std::string folder = FaultFolder();
  std::error_code error;
  if (folder.empty() || (!std::filesystem::create_directories(folder, error) && error)) return false;
  const std::string file =
      folder + "/fault-" + std::to_string(::getpid()) + "-" + std::to_string(::time(nullptr)) + ".txt";
  if (file.size() >= sizeof gFaultFile || reporter.size() >= sizeof gReporter) return false;
  CopyText(gFaultFile, sizeof gFaultFile, file);
  CopyText(gReporter, sizeof gReporter, reporter);
  CopyText(gReporterOption, sizeof gReporterOption, kReporterOption);
  gReporterArgv[0] = gReporter;
  gReporterArgv[1] = gReporterOption;
  gReporterArgv[2] = gFaultFile;
  gReporterArgv[3] = nullptr;

  const TBugReportHeader header = CurrentHeader();
  std::string preamble;
  for (const auto& [name, value] : header.Fields()) preamble += "field " + name + "=" + OneLine(value) + "\n";
  preamble += "os " + OneLine(OperatingSystemText()) + "\n";
  CopyText(gPreamble, sizeof gPreamble, preamble);
  gPreambleLength = std::strlen(gPreamble);

  // The first backtrace loads the unwinder, which a signal handler must not.
  void* warmUp[4];
  ::backtrace(warmUp, 4);

  stack_t stack{};
  stack.ss_sp = gAltStack;
  stack.ss_size = sizeof gAltStack;
  ::sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  ::sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
  std::set_terminate(OnTerminate);
  return true;
}

}  // namespace zephron::bugreport
