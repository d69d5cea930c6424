// Facts about the running system and process that the update log records
// and the restart passes on: the operating system's name and version, and
// this process's id.
#pragma once

#include <string>

namespace zephron::platform {

// "Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))",
// "Windows 10.0 (build 19045)".
std::string OperatingSystemVersion();

// The id of the calling process.
unsigned long CurrentProcessId();

}  // namespace zephron::platform
