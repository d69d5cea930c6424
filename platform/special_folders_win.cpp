#include <windows.h>
#include <shlobj.h>

#include "platform/special_folders.h"
#include "platform/win32_text.h"

namespace zephron::platform {
namespace {

std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return win32::NarrowPath(path);
}

// A path from one of the calls that fill a buffer of MAX_PATH characters
// and return the length; empty when the call fails.
template <typename Call>
std::string FromBuffer(Call call) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = call(path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return win32::NarrowPath(std::wstring_view(path, length));
}

}  // namespace

std::string DocumentsFolder() { return ShellFolder(CSIDL_PERSONAL); }
std::string AppDataFolder() { return ShellFolder(CSIDL_APPDATA); }
std::string LocalAppDataFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA); }

std::string TempFolder() {
  std::string folder = FromBuffer([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); });
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string WindowsFolder() {
  return FromBuffer([](wchar_t* buffer, DWORD size) { return ::GetWindowsDirectoryW(buffer, size); });
}

std::string SystemFolder() {
  return FromBuffer([](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); });
}

std::string ProgramFile() {
  return FromBuffer([](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
}

std::string ProgramFolder() {
  const std::string file = ProgramFile();
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace zephron::platform
