#include "platform/profile.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/unicode.h"

namespace zephron::platform {
namespace fs = std::filesystem;
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

// Length of the valid UTF-8 sequence at the start of text, 0 when there is none.
std::size_t ValidSequenceLength(std::string_view text) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = b(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (b(1) < low || b(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  }
  return length;
}

// Valid UTF-8 passes unchanged; any other byte is read as Windows-1252.
std::string DecodeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t n = ValidSequenceLength(text);
    if (n > 0) {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
      continue;
    }
    const auto byte = static_cast<unsigned char>(text.front());
    AppendUtf8(out, Windows1252ToCodePoint(byte));
    text.remove_prefix(1);
  }
  return out;
}

std::string KeyName(std::string_view text) { return LowerAscii(DecodeText(text)); }

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint64_t value = 0;
  if (!text.empty() && (text.front() == '$' || (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')))) {
    text.remove_prefix(text.front() == '$' ? 1 : 2);
    if (text.empty()) return std::nullopt;
    for (char c : text) {
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return std::nullopt;
      }
      value = value * 16 + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    // A hexadecimal value is a 32-bit pattern: "$FFFFFFFF" is -1.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0x80000000u) return std::nullopt;
  }
  if (!negative && value > 0x7FFFFFFFu) return std::nullopt;
  return negative ? static_cast<std::int32_t>(0 - static_cast<std::int64_t>(value)) : static_cast<std::int32_t>(value);
}

// nullopt when the file exists but cannot be read; empty when it is missing.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::string();
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) data.append(buffer, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return std::nullopt;
  return data;
}

bool ReplaceFile(const std::string& path, const std::string& data) {
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    // Replace what the link points at, not the link.
    auto resolved = fs::weakly_canonical(target, ec);
    if (ec) return false;
    target = resolved;
  }
  std::random_device random;
  fs::path temp = target;
  temp += ".~" + std::to_string(random()) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  const auto status = fs::status(target, ec);
  if (!ec && fs::exists(status)) fs::permissions(temp, status.permissions(), ec);
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) { Reload(); }

ProfileFile::ProfileFile(std::string path, std::string data, bool inMemory)
    : path_(std::move(path)), inMemory_(inMemory), data_(std::move(data)) {
  Parse();
}

ProfileFile ProfileFile::FromBytes(std::string bytes) { return ProfileFile({}, std::move(bytes), true); }

void ProfileFile::Reload() {
  if (inMemory_) return;
  data_ = ReadWholeFile(path_).value_or(std::string());
  Parse();
}

bool ProfileFile::RefreshFromDisk() {
  if (inMemory_) return true;
  auto data = ReadWholeFile(path_);
  if (!data) return false;  // never overwrite a file we could not read
  data_ = std::move(*data);
  Parse();
  return true;
}

void ProfileFile::Parse() {
  sections_.clear();
  firstSection_.clear();
  std::size_t pos = data_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const std::string_view all(data_);
  while (pos < all.size()) {
    Line line;
    line.begin = pos;
    const std::size_t newline = all.find('\n', pos);
    if (newline == std::string_view::npos) {
      line.end = line.next = all.size();
    } else {
      line.end = (newline > pos && all[newline - 1] == '\r') ? newline - 1 : newline;
      line.next = newline + 1;
    }
    pos = line.next;

    std::string_view content = all.substr(line.begin, line.end - line.begin);
    while (!content.empty() && (content.front() == ' ' || content.front() == '\t')) content.remove_prefix(1);
    if (content.empty()) continue;
    if (content.front() == '[') {
      const std::size_t close = content.find(']');
      if (close == std::string_view::npos) continue;  // not a header: garbage
      Section section;
      section.header = line;
      firstSection_.emplace(KeyName(Trim(content.substr(1, close - 1))), sections_.size());
      sections_.push_back(std::move(section));
      continue;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos || sections_.empty()) continue;
    const std::string_view key = Trim(content.substr(0, equals));
    if (key.empty()) continue;
    Section& section = sections_.back();
    section.first.emplace(KeyName(key), line);
    section.lastKey = line;
  }
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view section) const {
  const auto it = firstSection_.find(KeyName(section));
  return it == firstSection_.end() ? nullptr : &sections_[it->second];
}

std::string ProfileFile::ValueOf(const Line& line) const {
  std::string_view content = std::string_view(data_).substr(line.begin, line.end - line.begin);
  std::string_view value = Trim(content.substr(content.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return DecodeText(value);
}

std::string ProfileFile::LineEnd() const {
  const std::size_t newline = data_.find('\n');
  if (newline == std::string::npos) return "\r\n";
  return (newline > 0 && data_[newline - 1] == '\r') ? "\r\n" : "\n";
}

bool ProfileFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool ProfileFile::ValueExists(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  return found && found->first.contains(KeyName(key));
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  if (const Section* found = FindSection(section)) {
    if (const auto it = found->first.find(KeyName(key)); it != found->first.end()) return ValueOf(it->second);
  }
  return std::string(def);
}

std::int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
  if (!ValueExists(section, key)) return def;
  return ParseInteger(ReadString(section, key, {})).value_or(def);
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) == 1;
}

bool ProfileFile::Modify(const std::string& updated) {
  if (!inMemory_ && !ReplaceFile(path_, updated)) return false;
  data_ = updated;
  Parse();
  return true;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (Trim(section).empty() || Trim(key).empty()) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos) return false;
  if (Trim(key).front() == '[') return false;
  if (!RefreshFromDisk()) return false;

  const std::string eol = LineEnd();
  const std::string entry = std::string(key) + "=" + std::string(value);
  std::string updated = data_;
  if (const Section* found = FindSection(section)) {
    if (const auto it = found->first.find(KeyName(key)); it != found->first.end()) {
      updated.replace(it->second.begin, it->second.end - it->second.begin, entry);
    } else {
      const Line& after = found->lastKey ? *found->lastKey : found->header;
      if (after.next == after.end) {
        updated.insert(after.end, eol + entry);  // the file's last line had no line end
      } else {
        updated.insert(after.next, entry + eol);
      }
    }
  } else {
    if (!updated.empty() && updated.back() != '\n') updated += eol;
    updated += "[" + std::string(section) + "]" + eol + entry + eol;
  }
  return Modify(updated);
}

bool ProfileFile::DeleteKey(std::string_view section, std::string_view key) {
  if (!RefreshFromDisk()) return false;
  const Section* found = FindSection(section);
  if (!found) return false;
  const auto it = found->first.find(KeyName(key));
  if (it == found->first.end()) return false;
  std::string updated = data_;
  updated.erase(it->second.begin, it->second.next - it->second.begin);
  return Modify(updated);
}

bool ProfileFile::EraseSection(std::string_view section) {
  if (!RefreshFromDisk()) return false;
  const std::string name = KeyName(section);
  std::string updated = data_;
  bool changed = false;
  // From the last section backwards, so the offsets of the earlier ones stay valid.
  for (std::size_t i = sections_.size(); i-- > 0;) {
    const Section& s = sections_[i];
    const std::string_view all(data_);
    std::string_view content = all.substr(s.header.begin, s.header.end - s.header.begin);
    content.remove_prefix(content.find('['));
    if (KeyName(Trim(content.substr(1, content.find(']') - 1))) != name) continue;
    const std::size_t end = i + 1 < sections_.size() ? sections_[i + 1].header.begin : data_.size();
    updated.erase(s.header.begin, end - s.header.begin);
    changed = true;
  }
  return changed ? Modify(updated) : true;
}

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view def) {
  return ProfileFile(path).ReadString(section, key, def);
}

std::int32_t ReadProfileInteger(const std::string& path, std::string_view section, std::string_view key,
                                std::int32_t def) {
  return ProfileFile(path).ReadInteger(section, key, def);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  return ProfileFile(path).WriteString(section, key, value);
}

bool EraseProfileSection(const std::string& path, std::string_view section) {
  return ProfileFile(path).EraseSection(section);
}

}  // namespace zephron::platform
