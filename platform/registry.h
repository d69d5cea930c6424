// Stand-in for the Windows registry (RegOpenKeyExW, RegCreateKeyExW,
// RegQueryValueExW, RegSetValueExW, RegDeleteValueW, IsWow64Process).
//
// The hives HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are each one text file in
// the regedit export format ("Windows Registry Editor Version 5.00"), kept in
// the folder named by ZEPHRON_REGISTRY_DIR, else in the defaults documented in
// the README. Key and value names match without regard to case. String values
// (REG_SZ) are read and written; values of other types are kept as they were.
//
// Views: the updater counts as a 32-bit program on a 64-bit system, so in the
// default view HKLM\Software\X is HKLM\Software\WOW6432Node\X; the 64-bit view
// is the plain key. On a system that counts as 32-bit there is one view only.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephron::platform {

enum class Hive { LocalMachine, CurrentUser };

// KEY_WOW64_64KEY / KEY_WOW64_32KEY, or neither (the program's own view).
enum class RegView { Default, Bits64, Bits32 };

// A key path as the registry sees it after view redirection, e.g.
// "Software\WOW6432Node\Corvexis" for "Software\Corvexis" in the default view.
std::string RedirectedKeyPath(Hive hive, std::string_view path, RegView view);

// An open key. Opening does not hold the hive: every read sees the file as it
// is now, every write is one locked read-modify-replace of the hive file.
class RegistryKey {
 public:
  // Opens an existing key (KEY_READ); nullopt when it does not exist.
  static std::optional<RegistryKey> Open(Hive hive, std::string_view path, RegView view = RegView::Default);
  // Opens a key, creating it and its missing parents; nullopt when the hive cannot be written.
  static std::optional<RegistryKey> Create(Hive hive, std::string_view path, RegView view = RegView::Default);

  Hive hive() const { return hive_; }
  // The key path after redirection, without the hive name.
  const std::string& path() const { return path_; }

  bool ValueExists(std::string_view name) const;
  // The data of a REG_SZ (or REG_EXPAND_SZ) value; nullopt when missing or of another type.
  // An empty name is the key's default value.
  std::optional<std::string> ReadString(std::string_view name) const;
  bool WriteString(std::string_view name, std::string_view data);
  bool DeleteValue(std::string_view name);

  std::vector<std::string> ValueNames() const;
  std::vector<std::string> SubKeyNames() const;

 private:
  RegistryKey(Hive hive, std::string path) : hive_(hive), path_(std::move(path)) {}
  Hive hive_;
  std::string path_;
};

bool KeyExists(Hive hive, std::string_view path, RegView view = RegView::Default);

// Deletes a key with its subkeys and values; false when it did not exist or the hive cannot be written.
bool DeleteKey(Hive hive, std::string_view path, RegView view = RegView::Default);

// The file that holds a hive.
std::filesystem::path HiveFile(Hive hive);

// "Is the system 64-bit" as the registry views see it: the machine's own word
// size, unless ZEPHRON_SYSTEM_BITS is "32" or "64", or a test override is set.
bool Is64BitSystem();
void SetIs64BitSystemOverride(std::optional<bool> value);

}  // namespace zephron::platform
