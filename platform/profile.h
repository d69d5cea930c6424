// Stand-in for the Windows profile-file functions (GetPrivateProfileStringW,
// GetPrivateProfileIntW, WritePrivateProfileStringW and its "erase section"
// form with a null key) that read and write initialisation (INI) files.
//
// Reading: section and key names match without regard to (ASCII) case; the
// first section of a name and the first key of a name in it win; a value is
// the text after the first "=" with surrounding blanks removed and one pair of
// matching surrounding quotes stripped; lines without "=" and section headers
// without "]" are ignored; CR LF and LF line ends and a UTF-8 byte-order mark
// are accepted. Files written on Windows are often in the ANSI code page, so a
// byte that is not part of valid UTF-8 is read as its Windows-1252 character:
// every value comes back as valid UTF-8 and no content makes a read fail.
//
// Writing changes only the lines concerned: every other byte of the file,
// including its line ends, comments and garbage, stays as it was. The file is
// replaced through a temporary file in the same folder, so a failed write
// leaves the old file whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zephron::platform {

// An INI file loaded once and read many times. Writes go to the file at once
// (they work on the file as it is on disk now, then refresh the loaded copy).
class ProfileFile {
 public:
  // Loads the file; a missing or unreadable file reads as empty, so every
  // read yields its default.
  explicit ProfileFile(std::string path);
  // A profile held in memory only (no file): writes change the memory copy.
  static ProfileFile FromBytes(std::string bytes);

  const std::string& Path() const { return path_; }
  // The bytes as loaded (or as last written).
  const std::string& Bytes() const { return data_; }
  // Re-reads the file from disk.
  void Reload();

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal, or hexadecimal after "$" or "0x" (up to 8 digits, taken as a 32-bit
  // pattern, so "$FFFFFFFF" is -1), with an optional sign; anything else,
  // including a number outside the 32-bit range, yields def.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
  // Set only when the integer value is exactly 1.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Sets key=value in the first section of that name, adding the key after the
  // section's last key, or the section at the end of the file. Refuses (false)
  // names and values that would change the file's structure: line breaks
  // anywhere, "=" in or "[" at the start of the key, "]" in the section name,
  // and empty section or key names.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Removes the first key of that name from the first section of that name; true when the file was written.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name (a later duplicate would otherwise
  // surface once the first is gone): its header and every line up to the next
  // section header. False only when a needed write failed.
  bool EraseSection(std::string_view section);

 private:
  ProfileFile(std::string path, std::string data, bool inMemory);

  // Only section headers and key lines are remembered, so memory stays
  // proportional to the distinct keys, not to the lines, of a large file.
  struct Line {
    std::size_t begin = 0;  // first byte of the line
    std::size_t end = 0;    // end of the content, before CR LF / LF
    std::size_t next = 0;   // first byte of the next line (== end for a last line without line end)
  };
  struct Section {
    Line header;
    std::optional<Line> lastKey;
    std::unordered_map<std::string, Line> first;  // lower-cased key -> its first line
  };

  void Parse();
  const Section* FindSection(std::string_view section) const;
  std::string ValueOf(const Line& line) const;
  std::string LineEnd() const;
  bool Modify(const std::string& updated);
  bool RefreshFromDisk();

  std::string path_;
  bool inMemory_ = false;
  std::string data_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> firstSection_;  // lower-cased name -> index in sections_
};

// One-shot forms, for files read or written once.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view def);
std::int32_t ReadProfileInteger(const std::string& path, std::string_view section, std::string_view key,
                                std::int32_t def);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);
bool EraseProfileSection(const std::string& path, std::string_view section);

}  // namespace zephron::platform
