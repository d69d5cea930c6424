#include "platform/system_info.h"

#include <windows.h>

namespace zephron::platform {

std::string OperatingSystemVersion() {
  // GetVersionExW answers what the program's manifest claims to support;
  // the kernel's own call tells the truth.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto rtlGetVersion =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return "Windows";
  return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + " (build " +
         std::to_string(info.dwBuildNumber) + ")";
}

unsigned long CurrentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace zephron::platform
