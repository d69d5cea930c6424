// Stand-in for the Windows registry (RegOpenKeyExW, RegCreateKeyExW,
// RegQueryValueExW, RegSetValueExW, RegDeleteValueW, RegDeleteTreeW,
// RegEnumKeyExW, RegEnumValueW, IsWow64Process) and for what reg.exe's
// import and export need.
//
// Hive files. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are each one text file
// in the regedit export format ("Windows Registry Editor Version 5.00"):
//   $ZEPHRON_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg and .../HKEY_CURRENT_USER.reg
// when ZEPHRON_REGISTRY_DIR is set (and not empty; a relative folder is
// resolved against the current folder once, at its first use); otherwise
//   /var/lib/zephron/registry/HKEY_LOCAL_MACHINE.reg               (machine-wide)
//   ${XDG_CONFIG_HOME:-$HOME/.config}/zephron/registry/HKEY_CURRENT_USER.reg
// The files are written as regedit writes them (UTF-16LE with BOM, CR LF) and
// read in UTF-16LE, UTF-8 (with or without BOM) or ANSI, also as "REGEDIT4".
// String values (REG_SZ) are read and written; values of other types,
// comments and lines this code does not interpret are kept as they were.
// A string with line breaks is stored as hex(1) (still REG_SZ), since a
// quoted string cannot span lines in this format.
//
// Names. Key and value names match without regard to case (ASCII and the
// simple letter pairs of Latin-1, Latin Extended-A, Greek and Cyrillic); a
// name keeps the case it was first created with.
//
// Concurrency. Every write is one read-modify-replace of the hive file under
// an exclusive flock on "<hive>.lock" beside it (e.g. HKEY_LOCAL_MACHINE.lock),
// writing a temporary file in the same folder, fsync, rename; so concurrent
// writers in any number of processes all keep their values, and readers, who
// take no lock, see either the old or the new file. The folder is created by
// the first write. The writer flocks its temporary file ("<hive>.reg.XXXXXX")
// while it exists; one left behind by a writer that was killed is removed by
// the next write of that hive once it is an hour old and nobody holds its lock.
//
// Malformed files. A hive file that stops parsing at some line is read up to
// that line, reported once per file and process on stderr
// ("zephron registry: <file>: malformed at line N; ..."), and on every write
// the unparsed rest is written back verbatim after the parsed part, so a
// write never stores less than the file held. The rest stays after the key
// block it followed: a new key goes in front of that block rather than
// between the block and the rest. A hive file that exists but
// cannot be read makes writes fail rather than replace it.
//
// Views (as on 64-bit Windows 7 and later). The updater counts as a 32-bit
// program on a 64-bit system, so in the default view HKLM\Software\X is
// HKLM\Software\WOW6432Node\X; RegView::Bits64 is the plain key and
// RegView::Bits32 the WOW6432Node key explicitly. Only HKLM\Software is
// redirected (HKCU\Software is shared), and a path that already names
// Software\WOW6432Node is not redirected twice. On a system that counts as
// 32-bit there is no redirection at all. The system counts as 64-bit when
// SetIs64BitSystemOverride holds a value (tests), else when
// ZEPHRON_SYSTEM_BITS is "64" ("32": not), else by the machine's word size
// (uname machine: x86_64, aarch64, ppc64, riscv64, s390x, ... are 64-bit).
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

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
std::string_view HiveName(Hive hive);

// A key written as "HKLM\Software\X", "HKEY_CURRENT_USER\..." (root names
// without regard to case; HKLM, HKCU and the full names); nullopt for other
// roots. The path comes back without leading or doubled backslashes.
struct KeyName {
  Hive hive;
  std::string path;
};
std::optional<KeyName> ParseKeyName(std::string_view text);

// One value as reg.exe's query shows it.
struct ValueInfo {
  std::string name;     // "" for the default value
  std::string type;     // "REG_SZ", "REG_DWORD", ... ("REG_UNKNOWN" for data that does not decode)
  std::string display;  // the data as text: strings as they are, numbers as 0x..., bytes as hex digits
};

// An open key. Opening does not hold the hive: every read sees the file as it
// is now, every write is one locked read-modify-replace of the hive file.
// A key from Open is read-only (KEY_READ): its writes fail. A write through a
// key from Create re-creates the key if another process deleted it meanwhile.
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
  // Every value with its type and data as text, in stored order.
  std::vector<ValueInfo> Values() const;
  bool writable() const { return writable_; }

 private:
  RegistryKey(Hive hive, std::string path, bool writable) : hive_(hive), path_(std::move(path)), writable_(writable) {}
  Hive hive_;
  std::string path_;
  bool writable_;
};

bool KeyExists(Hive hive, std::string_view path, RegView view = RegView::Default);

// Deletes a key with its subkeys and values; false when it did not exist or the hive cannot be written.
bool DeleteKey(Hive hive, std::string_view path, RegView view = RegView::Default);

// The file that holds a hive.
std::filesystem::path HiveFile(Hive hive);

// The key and every key below it in the regedit export format (UTF-8 text,
// CR LF, keys under their full redirected names); nullopt when the key does
// not exist or the hive cannot be read.
std::optional<std::string> ExportKeyText(Hive hive, std::string_view path, RegView view = RegView::Default);
// ExportKeyText written to a file as UTF-16LE with BOM (replacing it); false when
// the key does not exist, the file cannot be written or is one of the hive files.
bool ExportKey(Hive hive, std::string_view path, RegView view, const std::filesystem::path& file);

// Whether a path names one of the hive files (HiveFile), also through links.
bool IsHiveFile(const std::filesystem::path& file);

// Applies a .reg file: "[KEY]" creates keys, "[-KEY]" deletes them with their
// subtrees, "name"="data" and typed values are set, "name"=- deletes a value.
// Key names must be under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER and go
// through the given view. A file that does not parse completely, or that
// names another root, changes nothing. Each hive is changed in one locked write.
struct ImportResult {
  enum class Code { Ok, CannotOpen, Malformed, InvalidKey, WriteFailed };
  Code code = Code::Ok;
  std::string detail;  // what was wrong, e.g. "line 7: a value before the first key"
};
ImportResult ImportRegFile(const std::filesystem::path& file, RegView view = RegView::Default);

// "Is the system 64-bit" as the registry views see it: the machine's own word
// size, unless ZEPHRON_SYSTEM_BITS is "32" or "64", or a test override is set.
bool Is64BitSystem();
void SetIs64BitSystemOverride(std::optional<bool> value);

}  // namespace zephron::platform
