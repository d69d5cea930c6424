// The I/O seam of libmspack, on which the cabinet extraction in archive/
// decodes: one mspack_system table that maps
// libmspack's file handles onto POSIX descriptors, retries short and
// interrupted transfers, and reports every failure as the library expects
// (NULL from open, -1 from read/write, non-zero from seek), so a full disk or a
// vanished file ends a decode with an error instead of a silently short file.
// Writes are collected per handle (libmspack's LZ decoders write byte by byte).
#pragma once

struct mspack_system;

namespace zephron::platform {

// The process-wide table; it keeps no state of its own, so any number of
// decoders on any threads may share it.
mspack_system* MspackFileSystem();

}  // namespace zephron::platform
