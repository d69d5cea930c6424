#include "bugreport/host_facts.h"

#include <windows.h>

#include "bugreport/report_text.h"
#include "platform/system_info.h"
#include "platform/win32_text.h"

namespace zephron::bugreport {
namespace {

// The thread that started first in this process: the main one.
DWORD MainThreadId() {
  static const DWORD id = ::GetCurrentThreadId();
  return id;
}
// Taken while the program starts, on its main thread.
const DWORD gMainThread = MainThreadId();

}  // namespace

std::string UserName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  return ::GetUserNameW(name, &size) ? platform::win32::Narrow(name) : std::string();
}

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &size) ? platform::win32::Narrow(name) : std::string();
}

std::string CurrentThreadText() {
  const DWORD id = ::GetCurrentThreadId();
  return std::to_string(id) + (id == gMainThread ? " (main thread)" : "");
}

bool LocalTime(std::time_t t, std::tm& local) { return ::localtime_s(&local, &t) == 0; }

std::string OperatingSystemText() {
#if defined(_M_X64) || defined(__x86_64__)
  return platform::OperatingSystemVersion() + " x86_64";
#else
  return platform::OperatingSystemVersion();
#endif
}

}  // namespace zephron::bugreport
