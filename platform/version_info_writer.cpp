#include "platform/version_info_writer.h"

#include <charconv>
#include <cstdio>

#include "platform/unicode.h"

namespace zephron::platform {

namespace {

class BlockWriter {
 public:
  void U16(std::uint32_t value) {
    bytes_.push_back(static_cast<std::byte>(value & 0xFF));
    bytes_.push_back(static_cast<std::byte>((value >> 8) & 0xFF));
  }
  void U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    U16(value >> 16);
  }
  void Text(std::u16string_view text) {
    for (const char16_t c : text) U16(c);
    U16(0);
  }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(std::byte{0});
  }

  // Writes the header and key of a node; EndNode fills in its length.
  std::size_t BeginNode(std::string_view key, std::size_t valueLength, bool text) {
    Align();
    const std::size_t start = bytes_.size();
    U16(0);
    U16(static_cast<std::uint32_t>(valueLength & 0xFFFF));
    U16(text ? 1 : 0);
    Text(Utf8ToUtf16(key));
    Align();
    if (valueLength > 0xFFFF) tooLong_ = true;
    return start;
  }
  void EndNode(std::size_t start) {
    const std::size_t length = bytes_.size() - start;
    if (length > 0xFFFF) tooLong_ = true;
    bytes_[start] = static_cast<std::byte>(length & 0xFF);
    bytes_[start + 1] = static_cast<std::byte>((length >> 8) & 0xFF);
  }

  bool tooLong() const { return tooLong_; }
  std::vector<std::byte>& bytes() { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
  bool tooLong_ = false;
};

void WriteFixed(BlockWriter& out, const VS_FIXEDFILEINFO& f) {
  for (const std::uint32_t v : {f.dwSignature, f.dwStrucVersion, f.dwFileVersionMS, f.dwFileVersionLS,
                                f.dwProductVersionMS, f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags,
                                f.dwFileOS, f.dwFileType, f.dwFileSubtype, f.dwFileDateMS, f.dwFileDateLS}) {
    out.U32(v);
  }
}

}  // namespace

std::optional<std::vector<std::byte>> BuildVersionInfo(const VersionInfoContent& content) {
  BlockWriter out;
  const std::size_t root = out.BeginNode("VS_VERSION_INFO", content.fixed ? kFixedFileInfoSize : 0, false);
  if (content.fixed) WriteFixed(out, *content.fixed);

  if (!content.stringTables.empty()) {
    const std::size_t fileInfo = out.BeginNode("StringFileInfo", 0, true);
    for (const auto& table : content.stringTables) {
      char name[9];
      std::snprintf(name, sizeof name, "%04X%04X", static_cast<unsigned>(table.language),
                    static_cast<unsigned>(table.codePage));
      const std::size_t tableNode = out.BeginNode(name, 0, true);
      for (const auto& [key, value] : table.strings) {
        const auto text = Utf8ToUtf16(value);
        const std::size_t stringNode = out.BeginNode(key, text.size() + 1, true);
        out.Text(text);
        out.EndNode(stringNode);
      }
      out.EndNode(tableNode);
    }
    out.EndNode(fileInfo);
  }

  if (!content.translations.empty()) {
    const std::size_t varInfo = out.BeginNode("VarFileInfo", 0, true);
    const std::size_t var = out.BeginNode("Translation", content.translations.size() * 4, false);
    for (const auto entry : content.translations) out.U32(entry);
    out.EndNode(var);
    out.EndNode(varInfo);
  }
  out.EndNode(root);
  if (out.tooLong()) return std::nullopt;
  return std::move(out.bytes());
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseDottedVersion(const std::string& text) {
  std::uint32_t parts[4] = {0, 0, 0, 0};
  std::size_t count = 0;
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (;;) {
    if (count == 4) return std::nullopt;
    unsigned value = 0;
    const auto [next, ec] = std::from_chars(at, end, value);
    if (ec != std::errc{} || next == at || value > 0xFFFF) return std::nullopt;
    parts[count++] = value;
    at = next;
    if (at == end) break;
    if (*at != '.') return std::nullopt;
    ++at;
  }
  return std::pair{(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
}

std::optional<VersionInfoContent> MakeVersionContent(const StampedVersion& version) {
  const auto file = ParseDottedVersion(version.fileVersion);
  const auto product = ParseDottedVersion(version.productVersion);
  if (!file || !product) return std::nullopt;
  VersionInfoContent content;
  content.fixed->dwFileVersionMS = file->first;
  content.fixed->dwFileVersionLS = file->second;
  content.fixed->dwProductVersionMS = product->first;
  content.fixed->dwProductVersionLS = product->second;
  VersionStringTable table;  // 0x0409 / 0x04B0
  table.strings = {{"CompanyName", version.companyName},
                   {"FileDescription", version.fileDescription},
                   {"FileVersion", version.fileVersion},
                   {"ProductName", version.productName},
                   {"ProductVersion", version.productVersion}};
  content.translations = {(std::uint32_t{table.codePage} << 16) | table.language};
  content.stringTables.push_back(std::move(table));
  return content;
}

}  // namespace zephron::platform
