// Reading the fault files that the fatal-fault handlers of either system
// write (fault_file.h), and where they go.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bugreport/fatal_signals.h"
#include "bugreport/fault_file.h"
#include "bugreport/report_text.h"
#include "bugreport/stack_trace.h"
#include "platform/special_folders.h"
#include "platform/utf8_path.h"

namespace zephron::bugreport {

std::string FaultFolder() {
  const std::string local = platform::LocalAppDataFolder();
  if (local.empty()) return {};
  return platform::Utf8String(platform::Utf8Path(local) / "Corvexis" / "Zephron" / "faults");
}


TExceptionReportPtr LoadFatalReport(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return nullptr;
  std::string line;
  if (!std::getline(in, line) || line != kFaultFileTag) return nullptr;

  TReportParts parts;
  std::string signal = "signal", exception, address, thread, process, mainThread, terminate;
  std::uintptr_t pc = 0;
  while (std::getline(in, line) && line != "frames") {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space);
    const std::string value = line.substr(space + 1);
    if (key == "signal") signal = value;
    else if (key == "exception") exception = value;
    else if (key == "address") address = value;
    else if (key == "thread") thread = value;
    else if (key == "pc") pc = static_cast<std::uintptr_t>(std::strtoull(value.c_str(), nullptr, 16));
    else if (key == "process") process = value;
    else if (key == "main") mainThread = value;
    else if (key == "terminate") terminate = value;
    else if (key == "time") parts.time = static_cast<std::time_t>(std::strtoll(value.c_str(), nullptr, 10));
    else if (key == "os") parts.operatingSystem = value;
    else if (key == "field" && value.find('=') != std::string::npos) {
      parts.header.Set(value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
    }
  }
  std::vector<std::uintptr_t> frames;
  while (std::getline(in, line) && line != "maps") {
    frames.push_back(static_cast<std::uintptr_t>(std::strtoull(line.c_str(), nullptr, 16)));
  }
  std::ostringstream maps;
  maps << in.rdbuf();
  in.close();
  // Only our own fault files are consumed; a file named from elsewhere stays.
  std::error_code error;
  const auto folder = std::filesystem::weakly_canonical(FaultFolder(), error);
  if (!error && std::filesystem::weakly_canonical(file, error).parent_path() == folder && !error) {
    std::filesystem::remove(file, error);
  }

  // "11 SIGSEGV" becomes "Signal SIGSEGV (11)", "0xc0000005
  // EXCEPTION_ACCESS_VIOLATION" "Exception EXCEPTION_ACCESS_VIOLATION (0xc0000005)".
  const std::string& kind = exception.empty() ? signal : exception;
  const std::string word = exception.empty() ? "Signal " : "Exception ";
  const std::size_t space = kind.find(' ');
  parts.failure = space == std::string::npos ? word + kind
                                             : word + kind.substr(space + 1) + " (" + kind.substr(0, space) + ")";
  parts.failure += " at address " + address;
  if (!terminate.empty()) parts.failure += "\r\n" + terminate;
  // Where thread ids are not process ids, the file names the main thread.
  const std::string& main = mainThread.empty() ? process : mainThread;
  parts.thread = thread + (thread == main ? " (main thread)" : "") + " of process " + process;
  // The frames above the interrupted one are the handler's and the
  // system's signal return: not the program's.
  bool exact = false;
  for (std::size_t i = 0; pc != 0 && i < frames.size(); ++i) {
    if (frames[i] == pc) {
      frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(i));
      exact = true;
      break;
    }
  }
  parts.stack = DescribeFrames(frames, maps.str(), exact);
  TBugReportHeader header = parts.header;
  return std::make_shared<IExceptionReport>(ComposeReport(parts), std::move(header), std::nullopt, true);
}

}  // namespace zephron::bugreport
