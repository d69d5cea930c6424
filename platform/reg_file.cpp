#include "platform/reg_file.h"

#include <array>
#include <cstdio>

#include "platform/ascii_case.h"
#include "platform/unicode.h"

namespace zephron::platform::regfile {
namespace {

// Lone surrogates come through as three-byte sequences, so a UTF-16 file with
// a broken pair is written back as it was.
using platform::AppendUtf8;

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one code point at text[pos] and advances pos; kInvalid (advancing
// one byte) for a byte that does not start a well-formed sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kInvalid;
  }
  if (pos + length > text.size()) {
    ++pos;
    return kInvalid;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) {
      ++pos;
      return kInvalid;
    }
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF) {
    ++pos;
    return kInvalid;
  }
  pos += length;
  return cp;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    if (NextCodePoint(text, pos) == kInvalid) return false;
  }
  return true;
}

std::string AnsiToUtf8(std::string_view bytes) { return platform::Windows1252ToUtf8(bytes); }

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  const auto unit = [&](std::size_t i) -> char16_t {
    const auto lo = static_cast<unsigned char>(bytes[i + (bigEndian ? 1 : 0)]);
    const auto hi = static_cast<unsigned char>(bytes[i + (bigEndian ? 0 : 1)]);
    return static_cast<char16_t>(lo | (hi << 8));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

void AppendUtf16Le(std::string& out, char16_t u) {
  out += static_cast<char>(u & 0xFF);
  out += static_cast<char>(u >> 8);
}

std::string Utf8ToUtf16LeBytes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp = NextCodePoint(utf8, pos);
    if (cp == kInvalid) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUtf16Le(out, static_cast<char16_t>(0xD800 + (cp >> 10)));
      AppendUtf16Le(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      AppendUtf16Le(out, static_cast<char16_t>(cp));
    }
  }
  return out;
}

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return (c % 2 == 0) ? c + 1 : c;
  return c;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

// Reads a quoted text starting at s[pos] == '"' with the \" and \\ escapes;
// a backslash before any other character stays as it is. Advances pos past
// the closing quote; nullopt when the quote is not closed on this line.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& pos) {
  std::string out;
  ++pos;
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '"' || s[pos + 1] == '\\')) {
      out += s[pos + 1];
      pos += 2;
      continue;
    }
    out += c;
    ++pos;
  }
  return std::nullopt;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view list) {
  std::vector<std::uint8_t> bytes;
  list = Trim(list);
  if (list.empty()) return bytes;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = list.find(',', pos);
    const std::string_view item = Trim(list.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
    if (item.empty() && comma == std::string_view::npos) break;  // a trailing comma
    if (item.empty() || item.size() > 2) return std::nullopt;
    int value = 0;
    for (const char c : item) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + d;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return bytes;
}

}  // namespace

std::string DecodeFileBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return Utf16ToUtf8(bytes.substr(2), false);
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') return Utf16ToUtf8(bytes.substr(2), true);
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  } else if (bytes.size() >= 4 && bytes[0] != '\0' && bytes[1] == '\0' && bytes[2] != '\0' && bytes[3] == '\0') {
    return Utf16ToUtf8(bytes, false);
  }
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return AnsiToUtf8(bytes);
}

std::string EncodeUtf16Le(std::string_view utf8) { return "\xFF\xFE" + Utf8ToUtf16LeBytes(utf8); }

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes, bool stopAtNul) {
  std::size_t length = bytes.size() & ~std::size_t{1};
  if (stopAtNul) {
    for (std::size_t i = 0; i + 1 < length; i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) {
        length = i;
        break;
      }
    }
  }
  return Utf16ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), length), false);
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(text, pos);
    if (cp == kInvalid) {
      out += text[start];
    } else if (cp < 0x80) {
      out += static_cast<char>(FoldCodePoint(cp));
    } else {
      AppendUtf8(out, FoldCodePoint(cp));
    }
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size()) {
    bool ascii = true, equal = true;
    for (std::size_t i = 0; i < a.size() && ascii; ++i) {
      const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
      if (ca >= 0x80 || cb >= 0x80) {
        ascii = false;
      } else if (FoldCodePoint(ca) != FoldCodePoint(cb)) {
        equal = false;
        break;
      }
    }
    if (ascii) return equal;
  }
  return FoldCase(a) == FoldCase(b);
}

std::string QuoteName(std::string_view name) {
  if (name.empty()) return "@";
  return "\"" + Escape(name) + "\"";
}

std::vector<std::string> FormatStringValue(std::string_view name, std::string_view data) {
  if (data.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
    return {QuoteName(name) + "=\"" + Escape(data) + "\""};
  }
  // regedit's layout for binary data: comma-separated bytes, lines of at
  // most 80 characters continued with "\" and indented by two spaces.
  std::string bytes = Utf8ToUtf16LeBytes(data);
  bytes.append(2, '\0');
  std::vector<std::string> lines;
  std::string line = QuoteName(name) + "=hex(1):";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char item[4];
    std::snprintf(item, sizeof item, "%02x", static_cast<unsigned char>(bytes[i]));
    const bool last = i + 1 == bytes.size();
    std::string piece = std::string(item) + (last ? "" : ",");
    if (line.size() + piece.size() > 78 && line.size() > 2) {
      lines.push_back(line + "\\");
      line = "  ";
    }
    line += piece;
  }
  lines.push_back(line);
  return lines;
}

std::optional<TypedData> DecodeTypedData(std::string_view data) {
  data = Trim(data);
  TypedData result;
  if (StartsWithAsciiNoCase(data, "dword:")) {
    const std::string_view digits = Trim(data.substr(6));
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint32_t>(d);
    }
    result.type = 4;
    for (int i = 0; i < 4; ++i) result.bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return result;
  }
  std::string_view list;
  if (StartsWithAsciiNoCase(data, "hex:")) {
    result.type = 3;
    list = data.substr(4);
  } else if (StartsWithAsciiNoCase(data, "hex(")) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return std::nullopt;
    std::uint32_t type = 0;
    for (const char c : data.substr(4, close - 4)) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      type = type * 16 + static_cast<std::uint32_t>(d);
    }
    result.type = type;
    list = data.substr(close + 2);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(list);
  if (!bytes) return std::nullopt;
  result.bytes = std::move(*bytes);
  return result;
}

Document Parse(std::string_view text) {
  Document doc;
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos <= text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
      if (pos < text.size()) lines.emplace_back(text.substr(pos));
      break;
    }
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    pos = end + 1;
  }

  const auto fail = [&](std::size_t index, std::string problem) {
    doc.malformedLine = static_cast<int>(index + 1);
    doc.problem = std::move(problem);
    doc.remainder.assign(lines.begin() + static_cast<std::ptrdiff_t>(index), lines.end());
  };

  std::size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size()) return doc;
  {
    const std::string_view header = Trim(lines[i]);
    if (EqualNoCase(header, kHeader5)) {
      doc.regedit4 = false;
    } else if (EqualNoCase(header, kHeader4)) {
      doc.regedit4 = true;
    } else {
      fail(i, "no \"" + std::string(kHeader5) + "\" header");
      return doc;
    }
    ++i;
  }

  Key* current = nullptr;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty()) continue;
    const char first = trimmed.front();
    if (first == ';') {
      Entry entry;
      entry.original = {line};
      if (current) {
        current->entries.push_back(std::move(entry));
      } else {
        doc.preamble.push_back(line);
      }
      continue;
    }
    if (first == '[') {
      if (trimmed.back() != ']' || trimmed.size() < 3) {
        fail(i, "a key name without its closing \"]\"");
        return doc;
      }
      std::string_view inner = trimmed.substr(1, trimmed.size() - 2);
      Key key;
      if (inner.front() == '-') {
        key.remove = true;
        inner.remove_prefix(1);
      }
      if (Trim(inner).empty()) {
        fail(i, "an empty key name");
        return doc;
      }
      key.path = std::string(inner);
      key.originalHeader = line;
      doc.keys.push_back(std::move(key));
      current = &doc.keys.back();
      continue;
    }
    if (first != '"' && first != '@') {
      fail(i, "a line that is neither a key, a value nor a comment");
      return doc;
    }
    if (!current) {
      doc.preamble.push_back(line);
      if (!doc.strayValueLine) doc.strayValueLine = static_cast<int>(i + 1);
      continue;
    }
    const std::string_view body = TrimLeft(line);
    const std::size_t indent = line.size() - body.size();
    Entry entry;
    std::size_t pos = 0;
    if (first == '@') {
      pos = 1;
    } else {
      auto name = ReadQuoted(body, pos);
      if (!name) {
        fail(i, "a value name without its closing quote");
        return doc;
      }
      entry.name = std::move(*name);
    }
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (pos >= body.size() || body[pos] != '=') {
      fail(i, "a value name without \"=\"");
      return doc;
    }
    ++pos;
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    const std::string_view rest = body.substr(pos);
    entry.original = {line};
    if (!rest.empty() && rest.front() == '"') {
      std::size_t qpos = 0;
      auto data = ReadQuoted(rest, qpos);
      if (!data) {
        fail(i, "a string value without its closing quote");
        return doc;
      }
      if (!Trim(rest.substr(qpos)).empty()) {
        fail(i, "text after a string value");
        return doc;
      }
      entry.kind = Entry::Kind::String;
      entry.data = std::move(*data);
    } else if (Trim(rest) == "-") {
      entry.kind = Entry::Kind::DeleteValue;
    } else {
      entry.kind = Entry::Kind::Typed;
      entry.dataOffset = indent + pos;
      std::string data(TrimRight(rest));
      while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
        data.pop_back();
        ++i;
        entry.original.push_back(lines[i]);
        data += TrimRight(TrimLeft(lines[i]));
      }
      entry.data = std::move(data);
    }
    current->entries.push_back(std::move(entry));
  }
  return doc;
}

std::string Serialize(const Document& doc) {
  std::string out;
  const auto line = [&](std::string_view text) {
    out += text;
    out += "\r\n";
  };
  line(kHeader5);
  line("");
  if (!doc.preamble.empty()) {
    for (const auto& text : doc.preamble) line(text);
    line("");
  }
  for (const auto& key : doc.keys) {
    if (!key.originalHeader.empty()) {
      line(key.originalHeader);
    } else {
      line("[" + std::string(key.remove ? "-" : "") + key.path + "]");
    }
    for (const auto& entry : key.entries) {
      if (!entry.original.empty()) {
        for (const auto& text : entry.original) line(text);
        continue;
      }
      switch (entry.kind) {
        case Entry::Kind::String:
          for (const auto& text : FormatStringValue(entry.name, entry.data)) line(text);
          break;
        case Entry::Kind::Typed:
          line(QuoteName(entry.name) + "=" + entry.data);
          break;
        case Entry::Kind::DeleteValue:
          line(QuoteName(entry.name) + "=-");
          break;
        case Entry::Kind::Verbatim:
          break;
      }
    }
    line("");
  }
  for (const auto& text : doc.remainder) line(text);
  return out;
}

}  // namespace zephron::platform::regfile
