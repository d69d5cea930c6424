// Stack traces: the raw return addresses of the calling thread, and their
// description (function, and file and line where debug information exists)
// by elfutils' libdwfl from a copy of the process's memory map, so that a
// separate reporter process can name the frames of a process that has died.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephron::bugreport {

// Return addresses of the caller's stack, innermost first, without the
// `skip` innermost frames (CaptureStack's own is never included).
std::vector<std::uintptr_t> CaptureStack(int skip = 0);

// A mangled C++ name as the source writes it; a name that is not mangled stays as given.
std::string Demangle(const char* name);

// The text of /proc/self/maps.
std::string ReadOwnMaps();

// "#3 0x55d0c0de1234 Function(int) at file.cpp:12 (module)" per address. The
// map is the /proc/<pid>/maps text of the process the addresses come from;
// an address in no mapped file is shown alone. Return addresses are looked
// up one byte back, inside their call; with firstIsExact the first address
// is where the process stood (a faulting instruction) and is taken as it is.
std::vector<std::string> DescribeFrames(const std::vector<std::uintptr_t>& addresses, const std::string& maps,
                                        bool firstIsExact = false);

}  // namespace zephron::bugreport
