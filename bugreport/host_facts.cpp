#include "bugreport/host_facts.h"

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "bugreport/report_text.h"

namespace zephron::bugreport {

std::string UserName() {
  if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr) {
    return entry->pw_name;
  }
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string CurrentThreadText() {
  const long tid = ::syscall(SYS_gettid);
  return std::to_string(tid) + (tid == ::getpid() ? " (main thread)" : "");
}

bool LocalTime(std::time_t t, std::tm& local) { return ::localtime_r(&t, &local) != nullptr; }

std::string OperatingSystemText() {
  utsname names{};
  if (::uname(&names) != 0) return "unknown";
  return std::string(names.sysname) + " " + names.release + " " + names.version + " " + names.machine;
}

}  // namespace zephron::bugreport
