// The file a fatal fault is written down in by the failing process, for the
// reporter process to read: a tag line, "key value" lines (signal or
// exception, address, pc, thread, process, main (the main thread, where
// thread ids are not process ids), time, terminate, field, os), then
// "frames" with one return address per line, then "maps" with the text
// stack_trace.h describes the frames from.
#pragma once

#include <cstddef>

namespace zephron::bugreport {

inline constexpr const char* kFaultFileTag = "Zephron fault report";

// Writes value in base 10 or 16 (without "0x") at the end of the buffer of
// `size` characters; the first digit. Allocates nothing and calls nothing,
// so that a fault handler may use it.
inline char* FormatDigits(char* buffer, std::size_t size, unsigned long long value, unsigned base) {
  char* at = buffer + size;
  do {
    *--at = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0 && at > buffer);
  return at;
}

}  // namespace zephron::bugreport
