// Stand-in for the shell's special folders (SHGetSpecialFolderPath with
// CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA), GetTempPathW,
// GetWindowsDirectoryW, GetSystemDirectoryW and the program's own folder.
//
// On Windows these are the shell's own folders (SHGetFolderPathW) and the
// system's calls, with "/" separators. Elsewhere documents, application data
// and local application data are first taken
// from the per-user registry key
//   HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders
// (values "Personal", "AppData", "Local AppData"), so that a sandbox can move
// them; otherwise they follow the XDG base-directory conventions. Folders come
// back without a trailing separator, except TempFolder, which, like
// GetTempPathW, ends in "/". An empty text means "cannot be determined".
#pragma once

#include <string>

namespace zephron::platform {

inline constexpr const char* kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// "Personal": the XDG documents folder (XDG_DOCUMENTS_DIR, user-dirs.dirs, else ~/Documents).
std::string DocumentsFolder();
// "AppData": XDG_CONFIG_HOME, else ~/.config.
std::string AppDataFolder();
// "Local AppData": XDG_DATA_HOME, else ~/.local/share.
std::string LocalAppDataFolder();
// TMPDIR, else /tmp; always with a trailing "/".
std::string TempFolder();
// ZEPHRON_WINDOWS_DIR, else /usr (the tree that holds the system's own programs and data).
std::string WindowsFolder();
// ZEPHRON_SYSTEM_DIR, else /usr/lib (where shared system libraries live).
std::string SystemFolder();
// The folder of the running executable.
std::string ProgramFolder();
// The full path of the running executable.
std::string ProgramFile();

}  // namespace zephron::platform
