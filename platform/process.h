// The platform's process calls: CreateProcessW with
// WaitForSingleObject and GetExitCodeProcess (StartAndWait), WinExec and
// ShellExecuteW with the verb "open".
//
// Command lines are one text, as on Windows. They are split into arguments
// by the rules CommandLineToArgvW follows (SplitCommandLine) and the program
// is started directly, never through a shell: ">>", "|" or "&" in a command
// line reach the program as plain arguments.
//
// On Windows these are the system's own calls. Elsewhere programs are
// looked up as Windows looks them up: a name with a folder in it is taken as
// it is (relative to the current folder); a bare name is looked for in the
// running program's own folder, then in the current folder, then along PATH.
// Windows programs end in ".exe" and Linux programs have no extension, so a
// name ending in ".exe" (any case) that is not found is looked for again
// without it: "patcher.exe" finds a program "patcher". There the window state
// a caller asks for (hidden, shown normally) has no meaning and is without
// effect.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephron::platform {

enum class WindowState { Hidden, ShownNormally };

// The arguments of a command line, the program name first. The program name
// ends at the first blank or tab, or, when it starts with a quote, at the
// next quote. In the other arguments blanks and tabs separate outside
// quotes; 2n backslashes before a quote give n backslashes and the quote
// opens or closes a quoted part, 2n+1 backslashes before a quote give n
// backslashes and a literal quote; backslashes elsewhere are literal; two
// quotes inside a quoted part give one literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The full path of the program the name stands for, by the lookup above;
// nullopt when there is none (or it is not an executable file).
std::optional<std::string> FindProgram(std::string_view name);

// Waits, without a time limit, for the process with that id to end; at once
// when no process has it.
void WaitForProcessEnd(long pid);

// Deletes the file of this running program: at once where the system lets a
// running program's file go, else by a helper shortly after the program has
// ended.
void DeleteOwnProgramFile(const std::string& path);

// Puts folder first in this process's program search path (PATH), which
// the programs it starts from then on inherit.
void PrependToSearchPath(const std::string& folder);

// Starts the command line as a child process and waits for it without a
// time limit. The exit code; for a program ended by a signal 128 + the
// signal, as shells give it. nullopt when the program could not be started
// (the last system error is then set: 2 not found, 5 access denied, 8 other).
std::optional<std::uint32_t> StartAndWait(std::string_view commandLine, WindowState window);

// WinExec: starts the command line detached (in a session of its own, so it
// outlives the caller) and returns at once. Above 31 on success; 2 when the
// program was not found, 5 when it could not be run, 0 for other failures.
std::uint32_t WinExec(std::string_view commandLine, WindowState window);

// ShellExecuteW with the verb "open": a program is started detached with
// the parameters (split as a command line) and not waited for; anything else
// (a URL, a document) goes to the desktop's opener (DocumentOpener). Above 32
// on success; 2 (file not found) when a program could not be started, 31 (no
// association) when nothing could open the file.
std::intptr_t ShellExecuteOpen(std::string_view file, std::string_view parameters, WindowState window);

// How files and URLs that are not programs are opened: true when something
// took them. By default "xdg-open" (found by the lookup above) is run
// detached; a window program may put its toolkit's desktop services here.
using TDocumentOpener = std::function<bool(const std::string& target)>;
void SetDocumentOpener(TDocumentOpener opener);
bool OpenDocument(const std::string& target);

}  // namespace zephron::platform
