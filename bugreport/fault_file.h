// The file a fatal fault is written down in by the failing process, for the
// reporter process to read: a tag line, "key value" lines (signal or
// exception, address, pc, thread, process, main (the main thread, where
// thread ids are not process ids), time, terminate, field, os), then
// "frames" with one return address per line, then "maps" with the text
// stack_trace.h describes the frames from.
#pragma once

namespace zephron::bugreport {

inline constexpr const char* kFaultFileTag = "Zephron fault report";

}  // namespace zephron::bugreport
