// The arguments a program was started with, as UTF-8 strings, without the
// program's own name. On Windows they are read from the system's UTF-16
// command line (GetCommandLineW, split by CommandLineToArgvW), since the
// char** of main holds them in the ANSI code page, which loses every
// character outside it; elsewhere they are argv's as they came.
#pragma once

#include <string>
#include <vector>

namespace zephron::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace zephron::platform
