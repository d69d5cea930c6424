#include "xml/xml_text.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "xml/xml_unicode.h"

namespace zephron {
namespace xmltext {

namespace {

// Collects UTF-16 code units as UTF-8, pairing surrogates.
class UnitCollector {
 public:
  explicit UnitCollector(std::string& out) : out_(out) {}
  ~UnitCollector() { Finish(); }
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
  void Finish() {
    if (pending_ != 0) xmlchars::AppendUtf8(out_, 0xFFFD);
    pending_ = 0;
  }
  bool Empty() const { return out_.empty() && pending_ == 0; }
  bool Pending() const { return pending_ != 0; }

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

inline bool IsTagSkip(unsigned c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '<'; }

void TrimControls(std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  std::size_t begin = 0;
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  if (begin > 0 || end < s.size()) s = s.substr(begin, end - begin);
}


// Collects UTF-16 units from the buffer up to the unit `stop` (not consumed)
// or the end of the stream; true when `stop` was found.
bool CollectUnitsUntil(xmlio::BufferedInput& in, char16_t stop, std::string& out, UnitCollector& collect) {
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return false;
    if (avail < 2) {
      // A unit split across the buffer boundary.
      const std::int64_t at = in.Position();
      char16_t unit;
      if (!ReadUnit(in, unit)) return false;
      if (unit == stop) {
        in.Seek(at);
        return true;
      }
      collect.Add(unit);
      continue;
    }
    const unsigned char* data = in.Data();
    const std::size_t pairs = avail / 2;
    std::size_t n = 0;
    bool ascii = true;
    for (; n < pairs; ++n) {
      const unsigned lo = data[2 * n];
      const unsigned hi = data[2 * n + 1];
      if (hi == 0 && lo == stop) break;
      ascii = ascii && hi == 0 && lo < 0x80;
    }
    if (ascii && !collect.Pending()) {
      const std::size_t old = out.size();
      out.resize(old + n);
      for (std::size_t i = 0; i < n; ++i) out[old + i] = static_cast<char>(data[2 * i]);
    } else {
      for (std::size_t i = 0; i < n; ++i) collect.Add(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
    }
    in.Skip(2 * n);
    if (n < pairs) return true;
  }
}
}  // namespace

std::string ReadTagName(xmlio::BufferedInput& in, bool ansi) {
  std::string name;
  if (ansi) {
    // Up to and past the next "<".
    while (true) {
      const std::size_t avail = in.Available();
      if (avail == 0) return name;
      const void* hit = std::memchr(in.Data(), '<', avail);
      if (hit != nullptr) {
        in.Skip(static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - in.Data()) + 1);
        break;
      }
      in.Skip(avail);
    }
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
      const void* hit = std::memchr(data, '>', avail);
      const std::size_t n = hit != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data) : avail;
      std::size_t run = 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (data[i] < 0x80) continue;
        name.append(reinterpret_cast<const char*>(data) + run, i - run);
        xmlchars::AppendLatin1(name, data[i]);
        run = i + 1;
      }
      name.append(reinterpret_cast<const char*>(data) + run, n - run);
      if (hit != nullptr) {
        in.Skip(n + 1);
        return name;
      }
      in.Skip(n);
    }
  }
  char16_t u;
  while (true) {
    const std::size_t avail = in.Available();
    if (avail == 0) return name;
    if (avail >= 2) {
      const unsigned char* data = in.Data();
      std::size_t i = 0;
      while (i + 1 < avail && !(data[i] == '<' && data[i + 1] == 0)) i += 2;
      if (i + 1 < avail) {
        in.Skip(i + 2);
        break;
      }
      in.Skip(i);
      continue;
    }
    if (!ReadUnit(in, u)) return name;
    if (u == u'<') break;
  }
  UnitCollector collect(name);
  while (true) {
    if (!ReadUnit(in, u) || u == u'>') return name;
    if (!IsTagSkip(u)) break;
  }
  collect.Add(u);
  if (CollectUnitsUntil(in, u'>', name, collect)) ReadUnit(in, u);  // the ">"
  collect.Finish();
  return name;
}

std::string ReadTagValue(xmlio::BufferedInput& in, bool ansi) {
  // Leading blanks are skipped and the result is trimmed of every control
  // character and blank: trimming both ends covers both.
  std::string value;
  if (ansi) {
    while (true) {
      const std::size_t avail = in.Available();
      if (avail == 0) break;
      const unsigned char* data = in.Data();
      const void* hit = std::memchr(data, '<', avail);
      const std::size_t n = hit != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data) : avail;
      std::size_t run = 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (data[i] < 0x80) continue;
        value.append(reinterpret_cast<const char*>(data) + run, i - run);
        xmlchars::AppendLatin1(value, data[i]);
        run = i + 1;
      }
      value.append(reinterpret_cast<const char*>(data) + run, n - run);
      in.Skip(n);  // the "<" stays for the next tag name
      if (hit != nullptr) break;
    }
  } else {
    UnitCollector collect(value);
    CollectUnitsUntil(in, u'<', value, collect);
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
    std::string expected;
    if (!Enter(start, start.Name(), expected)) return;

    struct Frame {
      TxmlNode* node;
      std::string expected;
    };
    std::vector<Frame> stack;
    stack.push_back({&start, std::move(expected)});
    std::string tag = ReadTagName(in_, ansi_);
    CheckEndTag(tag, stack.back().expected);
    while (true) {
      Frame& frame = stack.back();
      if (xmlchars::EqualsLowered(tag, frame.expected) || in_.AtEnd()) {
        // Closed, or cut off: a start tag right at the end gets no element.
        stack.pop_back();
        if (stack.empty()) return;
        tag = ReadTagName(in_, ansi_);
        CheckAfterChild(tag, stack.back().expected);
        continue;
      }
      if (stack.size() >= static_cast<std::size_t>(TxmlDocument::kMaxTextDepth)) {
        throw TxmlError(xmlerr::NestingTooDeep(TxmlDocument::kMaxTextDepth));
      }
      TxmlNode* parent = frame.node;
      auto owned = std::make_unique<TxmlNode>(parent, parent->Document());
      TxmlNode* child = owned.get();
      parent->Add(std::move(owned));
      if (Enter(*child, std::move(tag), expected)) {
        stack.push_back({child, std::move(expected)});
        tag = ReadTagName(in_, ansi_);
        CheckEndTag(tag, stack.back().expected);
      } else {
        tag = ReadTagName(in_, ansi_);
        CheckAfterChild(tag, stack.back().expected);
      }
    }
  }

 private:
  // The start of an element whose name holds its raw start tag: the name is
  // cut to its first word, the value read. True when children and an end
  // tag follow (`expected` then holds the end tag, lower case).
  bool Enter(TxmlNode& node, std::string raw, std::string& expected) {
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
    expected.assign(1, '/');
    expected += xmlchars::LowerCase(raw);
    node.SetName(std::move(raw));
    node.SetFileValue(ReadTagValue(in_, ansi_));
    return !(expected.back() == '/' && expected.size() > 1) && !closedWithAttributes;
  }

  static void CheckEndTag(const std::string& tag, const std::string& expected) {
    if (!tag.empty() && tag[0] == '/' && !xmlchars::EqualsLowered(tag, expected)) {
      throw TxmlError(xmlerr::ExpectedButFound(expected, tag));
    }
  }

  void CheckAfterChild(const std::string& tag, const std::string& expected) {
    if (tag.empty()) throw TxmlError(xmlerr::kExpectedTag + NextTwoLines(in_));
    CheckEndTag(tag, expected);
  }

  xmlio::BufferedInput& in_;
  bool& ansi_;
};

}  // namespace

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
