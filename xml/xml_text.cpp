#include "xml/xml_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "platform/ascii_case.h"
#include "xml/xml_unicode.h"

namespace zephron {
namespace xmltext {

namespace {

// The reader scans the input buffer in place: memchr finds the next "<" or
// ">", and the text in between goes into the name or value in one append
// (ASCII as it is; 8-bit characters and UTF-16 code units converted to
// UTF-8 on the way). The only state carried from one piece of the buffer to
// the next is a high surrogate waiting for its low half.

inline bool IsTagSkip(unsigned c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '<'; }

// Appends 8-bit characters (codes 0..255) as UTF-8; ASCII runs are found
// eight bytes at a time.
void AppendLatin1Run(std::string& out, const unsigned char* data, std::size_t n) {
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, data + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    if (data[i] >= 0x80) {
      out.append(reinterpret_cast<const char*>(data) + run, i - run);
      xmlchars::AppendLatin1(out, data[i]);
      run = i + 1;
    }
    ++i;
  }
  out.append(reinterpret_cast<const char*>(data) + run, n - run);
}

// UTF-16 code units into UTF-8: surrogate pairs are joined (also across
// calls), lone surrogates become U+FFFD.
class Utf16Appender {
 public:
  explicit Utf16Appender(std::string& out) : out_(out) {}

  void Add(char16_t u) {
    if (pending_ != 0) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        xmlchars::AppendUtf8(out_, 0x10000 + ((pending_ - 0xD800) << 10) + (u - 0xDC00));
        pending_ = 0;
        return;
      }
      xmlchars::AppendUtf8(out_, 0xFFFD);
      pending_ = 0;
    }
    if (u < 0x80) {
      out_.push_back(static_cast<char>(u));
    } else if (u >= 0xD800 && u <= 0xDBFF) {
      pending_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      xmlchars::AppendUtf8(out_, 0xFFFD);
    } else {
      xmlchars::AppendUtf8(out_, u);
    }
  }

  // `units` little-endian code units from `data`.
  void AddRun(const unsigned char* data, std::size_t units) {
    std::size_t i = 0;
    if (pending_ == 0) {
      // The ASCII part at the start (all of it, usually) in one go, found
      // four units at a time.
      while (i + 4 <= units) {
        std::uint64_t word;
        std::memcpy(&word, data + 2 * i, 8);
        if ((word & 0xFF80FF80FF80FF80ull) != 0) break;
        i += 4;
      }
      while (i < units && data[2 * i + 1] == 0 && data[2 * i] < 0x80) ++i;
      if (i > 0) {
        const std::size_t old = out_.size();
        out_.resize(old + i);
        char* dest = out_.data() + old;
        for (std::size_t k = 0; k < i; ++k) dest[k] = static_cast<char>(data[2 * k]);
      }
    }
    for (; i < units; ++i) Add(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
  }

  void Finish() {
    if (pending_ != 0) xmlchars::AppendUtf8(out_, 0xFFFD);
    pending_ = 0;
  }

 private:
  std::string& out_;
  char32_t pending_ = 0;
};

// One UTF-16 unit; false at the end (a lone trailing byte is consumed).
inline bool ReadUnit(xmlio::BufferedInput& in, char16_t& u) {
  if (in.Available() >= 2) {
    const unsigned char* p = in.Data();
    u = static_cast<char16_t>(p[0] | (p[1] << 8));
    in.Skip(2);
    return true;
  }
  unsigned char bytes[2];
  if (in.ReadExact(bytes, 2)) {
    u = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
    return true;
  }
  unsigned char rest;
  while (in.ReadByte(rest)) {
  }
  return false;
}

// The byte offset of the first UTF-16 unit `c` (an ASCII character) among
// the whole units of data[0, size), or the offset after the last whole unit.
inline std::size_t FindUnit(const unsigned char* data, std::size_t size, unsigned char c) {
  const std::size_t whole = size & ~std::size_t{1};
  std::size_t from = 0;
  while (from < whole) {
    const void* hit = std::memchr(data + from, c, whole - from);
    if (hit == nullptr) break;
    const auto at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
    if ((at & 1) == 0 && data[at + 1] == 0) return at;
    from = at + 1;
  }
  return whole;
}

// The byte offset of the first `c` in data[0, size), or size.
inline std::size_t FindByte(const unsigned char* data, std::size_t size, unsigned char c) {
  const void* hit = std::memchr(data, c, size);
  return hit != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data) : size;
}

// Consumes everything up to and including the next "<"; false when the
// stream ends first.
bool SkipPastOpen(xmlio::BufferedInput& in, bool ansi) {
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return false;
    if (ansi) {
      const std::size_t at = FindByte(in.Data(), avail, '<');
      if (at < avail) {
        in.Skip(at + 1);
        return true;
      }
      in.Skip(avail);
      continue;
    }
    if (avail >= 2) {
      const std::size_t at = FindUnit(in.Data(), avail, '<');
      if (at + 1 < avail) {
        in.Skip(at + 2);
        return true;
      }
      in.Skip(at);
      continue;
    }
    char16_t u;  // a unit split across the buffer's end
    if (!ReadUnit(in, u)) return false;
    if (u == u'<') return true;
  }
}

void TrimControls(std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  s.resize(end);
  std::size_t begin = 0;
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  if (begin > 0) s.erase(0, begin);
}

// The text up to the unit `stop` (consumed when `consume`) or the end of
// the stream, appended to out; UTF-16 only.
void CollectWideUntil(xmlio::BufferedInput& in, unsigned char stop, bool consume, Utf16Appender& out) {
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return;
    if (avail < 2) {
      const std::int64_t at = in.Position();
      char16_t unit;
      if (!ReadUnit(in, unit)) return;
      if (unit == stop) {
        if (!consume) in.Seek(at);
        return;
      }
      out.Add(unit);
      continue;
    }
    const unsigned char* data = in.Data();
    const std::size_t at = FindUnit(data, avail, stop);
    out.AddRun(data, at / 2);
    if (at + 1 < avail) {
      in.Skip(consume ? at + 2 : at);
      return;
    }
    in.Skip(at);
  }
}

}  // namespace

std::string ReadTagName(xmlio::BufferedInput& in, bool ansi) {
  std::string name;
  if (!SkipPastOpen(in, ansi)) return name;
  if (ansi) {
    unsigned char b;
    while (true) {
      if (!in.ReadByte(b) || b == '>') return name;
      if (!IsTagSkip(b)) break;
    }
    xmlchars::AppendLatin1(name, b);
    while (true) {
      const std::size_t avail = in.Available();
      if (avail == 0) return name;
      const unsigned char* data = in.Data();
      const std::size_t at = FindByte(data, avail, '>');
      AppendLatin1Run(name, data, at);
      if (at < avail) {
        in.Skip(at + 1);
        return name;
      }
      in.Skip(avail);
    }
  }
  char16_t u;
  while (true) {
    if (!ReadUnit(in, u) || u == u'>') return name;
    if (!IsTagSkip(u)) break;
  }
  Utf16Appender collect(name);
  collect.Add(u);
  CollectWideUntil(in, '>', true, collect);
  collect.Finish();
  return name;
}

std::string ReadTagValue(xmlio::BufferedInput& in, bool ansi) {
  // The blanks skipped before the text are all among the characters the
  // trim removes, so collecting everything and trimming both ends covers both.
  std::string value;
  if (ansi) {
    while (true) {
      const std::size_t avail = in.Available();
      if (avail == 0) break;
      const unsigned char* data = in.Data();
      const std::size_t at = FindByte(data, avail, '<');
      AppendLatin1Run(value, data, at);
      in.Skip(at);  // the "<" stays for the next tag name
      if (at < avail) break;
    }
  } else {
    Utf16Appender collect(value);
    CollectWideUntil(in, '<', false, collect);
    collect.Finish();
  }
  TrimControls(value);
  return value;
}

std::string NextTwoLines(xmlio::BufferedInput& in) {
  auto line = [&in] {
    std::string text;
    unsigned char b;
    while (in.ReadByte(b) && b != '\r') {
      // NUL bytes (the high halves of UTF-16 text) would cut the message short.
      if (b != 0) xmlchars::AppendLatin1(text, b);
    }
    return text;
  };
  std::string first = line();
  std::string second = line();
  return first + "\r\n" + second;
}

namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// True when `tag` is the end tag of the element named `name`: "/" and the
// name, compared without regard to case.
bool ClosesElement(std::string_view tag, std::string_view name) {
  if (tag.empty() || tag[0] != '/') return false;
  const std::string_view rest = tag.substr(1);
  if (rest == name) return true;  // as written by the writer
  if (rest.size() == name.size()) {
    std::size_t i = 0;
    for (; i < name.size(); ++i) {
      const auto a = static_cast<unsigned char>(rest[i]);
      const auto b = static_cast<unsigned char>(name[i]);
      if ((a | b) >= 0x80) break;
      if (platform::AsciiLower(static_cast<char>(a)) != platform::AsciiLower(static_cast<char>(b))) return false;
    }
    if (i == name.size()) return true;
  } else if (IsAscii(rest) && IsAscii(name)) {
    return false;  // lower-casing keeps ASCII text at its length
  }
  return xmlchars::EqualsLowered(tag, "/" + xmlchars::LowerCase(name));
}

}  // namespace

// Reads the elements below a start element without recursion. The children
// of each open element are collected on the side and handed to it in one
// piece when it closes (also when the load fails), so every child list is
// allocated once at its final size.
class ElementReader {
 public:
  ElementReader(xmlio::BufferedInput& in, bool& ansi) : in_(in), ansi_(ansi) {}

  void Read(TxmlNode& start) {
    if (start.Parent() == nullptr) {
      const std::int64_t mark = in_.Position();
      std::string name = ReadTagName(in_, ansi_);
      if (name.empty() || name.find('\0') != std::string::npos) {
        ansi_ = false;
        in_.Seek(mark);
        name = ReadTagName(in_, ansi_);
      }
      start.SetName(std::move(name));
    }
    if (!Enter(start, start.Name())) return;
    try {
      ReadChildren(start);
    } catch (...) {
      // The part read so far stays in the document.
      while (depth_ > 0) Close();
      throw;
    }
  }

 private:
  struct Frame {
    TxmlNode* node = nullptr;
    std::vector<std::unique_ptr<TxmlNode>> children;
  };

  void Open(TxmlNode* node) {
    if (depth_ == frames_.size()) frames_.emplace_back();
    frames_[depth_++].node = node;
  }

  // Hands the collected children to the innermost open element; the side
  // list keeps its room for the next element at that depth.
  void Close() {
    Frame& frame = frames_[--depth_];
    auto& items = frame.node->FItems;
    items.reserve(items.size() + frame.children.size());
    for (auto& child : frame.children) items.push_back(std::move(child));
    frame.children.clear();
  }

  void ReadChildren(TxmlNode& start) {
    Open(&start);
    std::string tag = ReadTagName(in_, ansi_);
    CheckEndTag(tag, start.Name());
    while (true) {
      Frame& frame = frames_[depth_ - 1];
      if (ClosesElement(tag, frame.node->Name()) || in_.AtEnd()) {
        // Closed, or cut off: a start tag right at the end gets no element.
        Close();
        if (depth_ == 0) return;
        tag = ReadTagName(in_, ansi_);
        CheckAfterChild(tag, frames_[depth_ - 1].node->Name());
        continue;
      }
      if (depth_ >= static_cast<std::size_t>(TxmlDocument::kMaxTextDepth)) {
        throw TxmlError(xmlerr::NestingTooDeep(TxmlDocument::kMaxTextDepth));
      }
      TxmlNode* parent = frame.node;
      frame.children.push_back(std::make_unique<TxmlNode>(parent, parent->Document()));
      TxmlNode* child = frame.children.back().get();
      if (Enter(*child, std::move(tag))) {
        Open(child);
        tag = ReadTagName(in_, ansi_);
        CheckEndTag(tag, child->Name());
      } else {
        tag = ReadTagName(in_, ansi_);
        CheckAfterChild(tag, parent->Name());
      }
    }
  }

  // The start of an element whose name holds its raw start tag: the name is
  // cut to its first word, the value read. True when children and an end
  // tag follow.
  bool Enter(TxmlNode& node, std::string raw) {
    while ((raw.empty() || raw[0] == '?') && !in_.AtEnd()) raw = ReadTagName(in_, ansi_);
    if (raw.empty()) {
      node.SetName(std::string());
      return false;
    }
    std::size_t begin = 0;
    while (begin < raw.size() && (raw[begin] == '\r' || raw[begin] == '\n')) ++begin;
    const std::size_t end = raw.find_first_of(" \t\r\n", begin);
    // An empty element written with attributes (<a x='1'/>) ends in "/" too.
    bool closedWithAttributes = false;
    if (end != std::string::npos) {
      std::size_t last = raw.size();
      while (last > 0 && static_cast<unsigned char>(raw[last - 1]) <= ' ') --last;
      closedWithAttributes = last > 0 && raw[last - 1] == '/';
      raw.resize(end);
    }
    if (begin > 0) raw.erase(0, begin);
    const bool selfClosed = !raw.empty() && raw.back() == '/';
    node.SetName(std::move(raw));
    node.SetFileValue(ReadTagValue(in_, ansi_));
    return !selfClosed && !closedWithAttributes;
  }

  static void CheckEndTag(const std::string& tag, const std::string& name) {
    if (!tag.empty() && tag[0] == '/' && !ClosesElement(tag, name)) {
      throw TxmlError(xmlerr::ExpectedButFound("/" + xmlchars::LowerCase(name), tag));
    }
  }

  void CheckAfterChild(const std::string& tag, const std::string& name) {
    if (tag.empty()) throw TxmlError(xmlerr::kExpectedTag + NextTwoLines(in_));
    CheckEndTag(tag, name);
  }

  xmlio::BufferedInput& in_;
  bool& ansi_;
  std::vector<Frame> frames_;
  std::size_t depth_ = 0;
};

void ReadElement(TxmlNode& node, xmlio::BufferedInput& in, bool& ansi) { ElementReader(in, ansi).Read(node); }

void WriteElement(const TxmlNode& top, xmlio::BufferedOutput& out, int& Offset) {
  const bool blanks = top.Document() != nullptr && top.Document()->SaveBlankNodes;
  auto writable = [blanks](const TxmlNode& n) {
    return !n.Name().empty() && (!n.Value().empty() || n.Count() > 0 || blanks);
  };
  auto endTag = [&out](const TxmlNode& n) {
    out.PutUnit(u'<');
    out.PutUnit(u'/');
    out.PutUtf16(n.Name());
    out.PutUnit(u'>');
    out.PutUnit(u'\r');
    out.PutUnit(u'\n');
  };
  // Writes the start of an element; true when its children follow.
  auto open = [&](const TxmlNode& n) {
    if (Offset > 0) out.PutBlanks(std::min(Offset, kMaxIndent));
    out.PutUnit(u'<');
    out.PutUtf16(n.Name());
    out.PutUnit(u'>');
    out.PutUtf16(n.Value(), true);
    if (n.Count() == 0) {
      endTag(n);
      return false;
    }
    Offset += 3;
    out.PutUnit(u'\r');
    out.PutUnit(u'\n');
    return true;
  };

  if (!writable(top) || !open(top)) return;
  struct Frame {
    const TxmlNode* node;
    int next;
  };
  std::vector<Frame> stack{{&top, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.node->Count()) {
      const TxmlNode& child = *frame.node->Items(frame.next++);
      if (writable(child) && open(child)) stack.push_back({&child, 0});
      continue;
    }
    Offset -= 3;
    if (Offset > 0) out.PutBlanks(std::min(Offset, kMaxIndent));
    endTag(*frame.node);
    stack.pop_back();
  }
}

}  // namespace xmltext

// ---- the element-level entry points ----

void TxmlNode::Save(TxmlStream& stream, int& Offset) {
  xmlio::BufferedOutput out(stream);
  xmltext::WriteElement(*this, out, Offset);
  out.Flush();
}

void TxmlNode::Load(TxmlStream& stream) {
  bool localWidth = true;
  bool& ansi = FDocument != nullptr ? FDocument->ANSIRead : localWidth;
  xmlio::BufferedInput in(stream);
  xmltext::ReadElement(*this, in, ansi);
}

void TxmlNode::Load(const std::string& text) {
  TxmlMemoryStream stream(TxmlDocument::StringToLoadBytes(text));
  bool localWidth = true;
  bool& ansi = FDocument != nullptr ? FDocument->ANSIRead : localWidth;
  // The bytes are 8-bit unless the text needed UTF-16 code units.
  ansi = !TxmlDocument::StringNeedsUtf16(text);
  xmlio::BufferedInput in(stream);
  xmltext::ReadElement(*this, in, ansi);
}

std::string TxmlNode::AsString() {
  TxmlMemoryStream stream;
  int offset = 0;
  Save(stream, offset);
  return TxmlDocument::BytesToString(stream.Bytes());
}

std::string TxmlNode::AsText() const {
  std::string text;
  const bool blanks = FDocument != nullptr && FDocument->SaveBlankNodes;
  struct Item {
    const TxmlNode* node;
    int offset;
  };
  std::vector<Item> pending{{this, 0}};
  while (!pending.empty()) {
    const Item item = pending.back();
    pending.pop_back();
    const TxmlNode& n = *item.node;
    if (n.FName.empty() || (n.FValue.empty() && n.FItems.empty() && !blanks)) continue;
    text.append(static_cast<std::size_t>(std::min(item.offset, xmltext::kMaxIndent)), ' ');
    text += n.FName;
    text += ':';
    text += n.FValue;
    text += "\r\n";
    for (auto it = n.FItems.rbegin(); it != n.FItems.rend(); ++it) pending.push_back({it->get(), item.offset + 3});
  }
  return text;
}

}  // namespace zephron
