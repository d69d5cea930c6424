// The update setup program: after the updater has ended, it waits for the
// application's process to go, installs the prepared component files from
// the download folder into the application folder (replacement copies, file
// lists, patches, cabinets, programs to run, LZ-compressed files), logs what
// it does to the engine's log and starts the application again.
//
// Command line: PID LOGFLAG PROGRAM PARAMETER FOLDER [COMPONENT...], with
// PROGRAM "null" for no restart and PARAMETER " " for none. Names are matched
// without regard to case, as on the original file system.
//
// Where the original way was unsafe, this one is sound:
// - files are written to a temporary file in their destination folder and
//   renamed over the target, so a crash never leaves a half-written program;
// - component names that would leave their folder (a separator, "..") are
//   refused and logged; file lists nest at most kMaxListDepth deep, so a
//   list that names itself ends;
// - a patch "tool.pat" applies to "tool.EXE" in the destination folder (the
//   name keeps its dot);
// - patches, cabinets and programs are deleted from the download folder,
//   where they are, never by their bare name in the application folder,
//   which could be an installed file of the same name; LZ files are read
//   from the download folder too;
// - the download folder is usually the application folder itself, so every
//   component that was installed is removed from it (replacement copies, file
//   lists, LZ files too), and so is this program's own copy there;
// - a restart program or parameter holding blanks is quoted, so the program
//   and its parameter arrive as they were given.
#pragma once

#include <string>
#include <vector>

namespace zephron::setup {

inline constexpr int kMaxListDepth = 8;

// The whole run for the arguments after the program name; the exit status.
int RunSetup(const std::vector<std::string>& args);

}  // namespace zephron::setup
