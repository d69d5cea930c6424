// Extraction of Microsoft Cabinet archives (".CAB"): on Windows through the
// system's cabinet library (FDI of cabinet.dll), elsewhere decoded by
// libmspack.
#pragma once

#include <string>

namespace zephron {

// Unpacks every file of cabinet, in archive order, below targetDir:
// - a stored name's "\" separators become stored subfolders, created as needed;
// - targetDir is joined to the stored name as given (callers pass it with a
//   trailing "/"); an empty targetDir means the current folder;
// - each file's last-write time is the stored DOS date and time read as local
//   time; the stored attributes are not applied (a read-only entry becomes a
//   normal writable file);
// - a file that continues in the next cabinet of a set is completed from that
//   cabinet when it lies in the same folder under the name this cabinet gives
//   (also when only the letter case differs); files that start in a later
//   cabinet are that cabinet's business, files continued from an earlier one
//   are skipped.
// 0 when every file was extracted; -1 when the cabinet cannot be opened or is
// not a cabinet, or when a file cannot be created, decoded or written: the
// extraction stops there, files already extracted stay, and the failed file
// is removed rather than left truncated. A stored name that is absolute or
// climbs out of the target with ".." is never written: that entry is skipped,
// the rest are extracted and the result is -1.
// Extractions are serialised process-wide.
int ExtractCabinet(const std::string& cabinet, const std::string& targetDir);

}  // namespace zephron
