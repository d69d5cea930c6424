#include "bugreport/report_text.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "bugreport/host_facts.h"
#include "bugreport/stack_trace.h"
#include "platform/special_folders.h"
#include "platform/version_info.h"

namespace zephron::bugreport {

std::string ExecutableVersion(const std::string& executable) {
  const auto block = platform::GetFileVersionInfo(executable);
  if (!block) return {};
  const auto value = platform::VerQueryValue(*block, "\\");
  if (!value) return {};
  const auto info = platform::VerValueFixedFileInfo(*value);
  if (!info) return {};
  return std::to_string(info->dwFileVersionMS >> 16) + "." + std::to_string(info->dwFileVersionMS & 0xFFFF) + "." +
         std::to_string(info->dwFileVersionLS >> 16) + "." + std::to_string(info->dwFileVersionLS & 0xFFFF);
}

TBugReportHeader CurrentHeader() {
  TBugReportHeader header;
  const std::string executable = platform::ProgramFile();
  header.Set("executable", executable);
  header.Set("version", ExecutableVersion(executable));
  header.Set("computer name", ComputerName());
  header.Set("user name", UserName());
  return header;
}

std::string ComposeReport(const TReportParts& parts) {
  char when[64] = "unknown";
  std::tm local{};
  if (parts.time != 0 && LocalTime(parts.time, local)) {
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &local);
  }
  std::string text;
  text += parts.failure + "\r\n\r\n";
  text += std::string("Time: ") + when + "\r\n";
  text += "Executable: " + parts.header.GetContent("executable") + "\r\n";
  text += "Version: " + parts.header.GetContent("version") + "\r\n";
  text += "Computer name: " + parts.header.GetContent("computer name") + "\r\n";
  text += "User name: " + parts.header.GetContent("user name") + "\r\n";
  text += "Operating system: " + parts.operatingSystem + "\r\n";
  text += "Thread: " + parts.thread + "\r\n\r\n";
  text += "Stack trace:\r\n";
  for (const auto& frame : parts.stack) text += "  " + frame + "\r\n";
  return text;
}

std::string DescribeException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return Demangle(typeid(e).name()) + ": " + e.what();
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type != nullptr ? Demangle(type->name()) : std::string("unknown exception");
  }
}

}  // namespace zephron::bugreport
