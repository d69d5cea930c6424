// The text format of regedit's export files (".reg"), which the registry
// stand-in uses for its hive files and zephron-reg for import and export.
//
// The parser keeps every line it does not interpret (comments, values of
// types other than REG_SZ, the unparsed rest after a malformed line) so that a
// document written back holds everything it was read with. Text is UTF-8 in
// memory; files are decoded from UTF-16LE/BE (with BOM), UTF-8 (with or
// without BOM) or the ANSI code page (Windows-1252), and written as regedit
// writes them: UTF-16LE with BOM and CR LF line ends.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephron::platform::regfile {

inline constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeader4 = "REGEDIT4";

// One line (or one multi-line value) inside a key block.
struct Entry {
  enum class Kind {
    String,       // "name"="data" (REG_SZ)
    Typed,        // "name"=dword:..., hex:..., hex(N):... or any other data text, kept as written
    DeleteValue,  // "name"=-   (import files)
    Verbatim,     // a comment or other line kept as it is
  };
  Kind kind = Kind::Verbatim;
  std::string name;  // decoded value name; "" is the default value (@)
  // String: the decoded text. Typed: the data text after "=", with line
  // continuations joined (backslash and the next line's indentation removed).
  std::string data;
  // The source lines; written back unchanged while the entry is not modified.
  std::vector<std::string> original;
  // Typed: where the data text starts in original[0] (after "="), so the
  // value can be renamed without touching its data lines.
  std::size_t dataOffset = 0;
};

struct Key {
  std::string path;     // full name, e.g. "HKEY_LOCAL_MACHINE\Software\Corvexis"
  bool remove = false;  // "[-...]": delete the key (import files)
  std::string originalHeader;
  std::vector<Entry> entries;
};

struct Document {
  bool regedit4 = false;               // the file began with "REGEDIT4"
  std::vector<std::string> preamble;   // comment lines between the header and the first key
  std::vector<Key> keys;               // in file order
  // The part of the file from the first line that did not parse on, verbatim.
  std::vector<std::string> remainder;
  int malformedLine = 0;  // 1-based line of the first line that did not parse; 0 when all parsed
  std::string problem;    // what was wrong there
  // A value line before the first key has no key to belong to: it is kept in
  // the preamble (so no later key adopts it when the file is written back)
  // and the file counts as malformed, but parsing goes on.
  int strayValueLine = 0;
};

// Decodes the bytes of a .reg file to UTF-8 (BOM detection as described above;
// UTF-16LE without BOM is recognised by its zero high bytes).
std::string DecodeFileBytes(std::string_view bytes);
// UTF-8 text to UTF-16LE with BOM.
std::string EncodeUtf16Le(std::string_view utf8);

Document Parse(std::string_view utf8Text);
// The document as text with CR LF line ends, always with the version 5 header.
std::string Serialize(const Document& document);

// Text of one string value line, "name"="data" (or @="data"); data that holds
// line breaks or NULs is written as hex(1) so the file stays one value per line.
std::vector<std::string> FormatStringValue(std::string_view name, std::string_view data);
std::string QuoteName(std::string_view name);

// A typed value's data decoded: its type number (REG_SZ = 1, REG_EXPAND_SZ = 2,
// REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7, REG_QWORD = 11, ...) and bytes.
struct TypedData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};
std::optional<TypedData> DecodeTypedData(std::string_view data);

// UTF-16LE bytes (no BOM) to UTF-8; stops before the first NUL character when stopAtNul.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes, bool stopAtNul);

// Case folding for name comparison: ASCII plus the simple one-to-one
// upper/lower pairs of Latin-1, Latin Extended-A, Greek and Cyrillic.
std::string FoldCase(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace zephron::platform::regfile
