#include "platform/special_folders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/registry.h"

namespace zephron::platform {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string Home() { return Env("HOME"); }

std::string StripTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ShellFolder(const char* valueName) {
  if (auto key = RegistryKey::Open(Hive::CurrentUser, kShellFoldersKey)) {
    if (auto value = key->ReadString(valueName); value && !value->empty()) return *value;
  }
  return {};
}

// XDG_DOCUMENTS_DIR as user-dirs.dirs writes it: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string DocumentsFromUserDirs(const std::string& configHome) {
  std::ifstream in(std::filesystem::path(configHome) / "user-dirs.dirs");
  std::string line;
  const std::string prefix = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    return value;
  }
  return {};
}

std::string ConfigHome() {
  std::string dir = Env("XDG_CONFIG_HOME");
  if (dir.empty() && !Home().empty()) dir = Home() + "/.config";
  return StripTrailingSlash(dir);
}

}  // namespace

std::string DocumentsFolder() {
  if (auto folder = ShellFolder("Personal"); !folder.empty()) return folder;
  std::string dir = Env("XDG_DOCUMENTS_DIR");
  if (dir.empty() && !ConfigHome().empty()) dir = DocumentsFromUserDirs(ConfigHome());
  if (dir.empty() && !Home().empty()) dir = Home() + "/Documents";
  return StripTrailingSlash(dir);
}

std::string AppDataFolder() {
  if (auto folder = ShellFolder("AppData"); !folder.empty()) return folder;
  return ConfigHome();
}

std::string LocalAppDataFolder() {
  if (auto folder = ShellFolder("Local AppData"); !folder.empty()) return folder;
  std::string dir = Env("XDG_DATA_HOME");
  if (dir.empty() && !Home().empty()) dir = Home() + "/.local/share";
  return StripTrailingSlash(dir);
}

std::string TempFolder() {
  std::string dir = Env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string WindowsFolder() {
  std::string dir = Env("ZEPHRON_WINDOWS_DIR");
  return dir.empty() ? std::string("/usr") : StripTrailingSlash(dir);
}

std::string SystemFolder() {
  std::string dir = Env("ZEPHRON_SYSTEM_DIR");
  return dir.empty() ? std::string("/usr/lib") : StripTrailingSlash(dir);
}

std::string ProgramFile() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string ProgramFolder() {
  const auto exe = std::filesystem::path(ProgramFile());
  return exe.has_parent_path() ? exe.parent_path().string() : std::string();
}

}  // namespace zephron::platform
