#include <windows.h>
#include <shellapi.h>

#include "platform/program_arguments.h"
#include "platform/win32_text.h"

namespace zephron::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) {
    // Without the wide command line, the ANSI one is better than none.
    return argc > 1 && argv ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace zephron::platform
