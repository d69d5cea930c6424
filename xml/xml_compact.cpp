#include "xml/xml_compact.h"

#include <limits>
#include <memory>
#include <unordered_map>

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "xml/xml_node_pool.h"
#include "xml/xml_text.h"
#include "xml/xml_unicode.h"

namespace zephron {
namespace xmlcompact {

namespace {

std::uint16_t ReadWord(xmlio::BufferedInput& in) {
  unsigned char b[2];
  if (!in.ReadExact(b, 2)) throw TxmlError(xmlerr::kReadIntegerEof);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

// A 32-bit word needs all four bytes; a shorter rest is a cut-off stream.
std::uint32_t ReadDWord(xmlio::BufferedInput& in) {
  unsigned char b[4];
  if (!in.ReadExact(b, 4)) throw TxmlError(xmlerr::kReadIntegerEof);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// A tag: a name's 1-based position in the table, and whether it ends an element.
struct Tag {
  bool end = false;
  std::size_t index = 0;
};

Tag ReadTag(xmlio::BufferedInput& in, bool ansi, std::vector<std::string>& names) {
  const std::uint16_t word = ReadWord(in);
  if (word == 0) {
    names.push_back(ReadString(in, ansi));
    return Tag{false, names.size()};
  }
  const std::size_t index = word & 0x7FFF;
  if (index == 0 || index > names.size()) {
    throw TxmlError(xmlerr::ListIndexOutOfBounds(static_cast<std::int64_t>(index) - 1));
  }
  return Tag{(word & 0x8000) != 0, index};
}

void PutString(xmlio::BufferedOutput& out, const std::string& text) {
  const std::size_t units = xmlchars::Utf16Length(text);
  if (units < 255) {
    out.PutByte(static_cast<unsigned char>(units));
  } else {
    if (units > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw TxmlError("A value is too long for the compressed XML format!");
    }
    out.PutByte(255);
    out.PutInt32(static_cast<std::int32_t>(units));
  }
  out.PutUtf16(text);
}

bool IsNameStart(unsigned char b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b == ':'; }

bool HoldsControl(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

// Whether the document's first element reads well in one width: a new name,
// its value and then a tag that can follow a root's start (a child with a
// new name or with the root's own, or the root's end). A name starting with
// "?" has no value, so that start cannot be judged and counts as good.
bool StartsWell(xmlio::BufferedInput& in, std::int64_t mark, bool ansi) {
  in.Seek(mark);
  try {
    if (ReadWord(in) != 0) return false;
    const std::string name = ReadString(in, ansi);
    if (!name.empty() && name[0] == '?') return true;
    ReadString(in, ansi);
    const std::uint16_t next = ReadWord(in);
    return next == 0 || next == 1 || next == 0x8001;
  } catch (const TxmlError&) {
    return false;
  }
}

}  // namespace

std::string ReadString(xmlio::BufferedInput& in, bool ansi) {
  if (in.Remaining() < 2) throw TxmlError(xmlerr::kReadStringEof);
  unsigned char lengthByte;
  if (!in.ReadByte(lengthByte)) throw TxmlError(xmlerr::kReadBoolEof);
  std::int64_t length = lengthByte;
  if (lengthByte == 255) length = static_cast<std::int32_t>(ReadDWord(in));
  if (length < 0) throw TxmlError(xmlerr::NegativeStringLength(length));
  const std::int64_t bytes = ansi ? length : 2 * length;
  // Checked before anything is allocated: a corrupt length never asks for more
  // memory than the stream could fill.
  if (bytes > in.Remaining()) throw TxmlError(xmlerr::kReadStringEof);
  std::string raw(static_cast<std::size_t>(bytes), '\0');
  if (!in.ReadExact(raw.data(), raw.size())) throw TxmlError(xmlerr::kReadStringEof);
  if (ansi) return xmlchars::SanitizeUtf8(raw);
  std::string text;
  xmlchars::AppendUtf16Bytes(text, raw.data(), static_cast<std::size_t>(length));
  return text;
}

std::string ReadTagName(xmlio::BufferedInput& in, bool ansi, std::vector<std::string>& names) {
  const Tag tag = ReadTag(in, ansi, names);
  return tag.end ? "/" + names[tag.index - 1] : names[tag.index - 1];
}

void WriteSignature(xmlio::BufferedOutput& out) {
  out.PutInt32(static_cast<std::int32_t>(kSignatureWord1));
  out.PutInt32(static_cast<std::int32_t>(kSignatureWord2));
  out.PutInt32(static_cast<std::int32_t>(kSignatureWord1));
  out.PutInt32(static_cast<std::int32_t>(kSignatureWord2));
}

bool CheckSignature(xmlio::BufferedInput& in) {
  if (in.Remaining() < 2) throw TxmlError(xmlerr::kReadIntegerEof);
  // Two or three bytes cannot hold a signature (LoadAuto then reads text).
  if (in.Remaining() < 4) return false;
  const std::uint32_t first = ReadDWord(in);
  if (first == kShortSignature) return true;
  if (first != kSignatureWord1) return false;
  return ReadDWord(in) == kSignatureWord2 && ReadDWord(in) == kSignatureWord1 && ReadDWord(in) == kSignatureWord2;
}

void WriteElement(const TxmlNode& top, xmlio::BufferedOutput& out, std::vector<std::string>& names) {
  std::unordered_map<std::string, std::size_t> lookup;
  for (std::size_t i = 0; i < names.size(); ++i) lookup.emplace(xmlchars::LowerCase(names[i]), i + 1);

  auto writable = [](const TxmlNode& n) { return !n.Name().empty() && (!n.Value().empty() || n.Count() > 0); };
  // Writes the start of an element; its table index.
  auto open = [&](const TxmlNode& n) {
    std::string lowered = xmlchars::LowerCase(n.Name());
    std::size_t index;
    const auto found = lookup.find(lowered);
    if (found != lookup.end()) {
      index = found->second;
      out.PutWord(static_cast<std::uint16_t>(index));
    } else {
      if (names.size() >= kMaxNames) throw TxmlError(xmlerr::kTooManyNames);
      out.PutWord(0);
      PutString(out, n.Name());
      names.push_back(n.Name());
      index = names.size();
      lookup.emplace(std::move(lowered), index);
    }
    PutString(out, n.Value());
    return index;
  };
  auto close = [&](std::size_t index) { out.PutWord(static_cast<std::uint16_t>(index | 0x8000)); };

  if (!writable(top)) return;
  struct Frame {
    const TxmlNode* node;
    int next;
    std::size_t index;
  };
  std::vector<Frame> stack{{&top, 0, open(top)}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.node->Count()) {
      const TxmlNode& child = *frame.node->Items(frame.next++);
      if (writable(child)) stack.push_back({&child, 0, open(child)});
      continue;
    }
    close(frame.index);
    stack.pop_back();
  }
}

void ReadElement(TxmlNode& start, xmlio::BufferedInput& in, bool& ansi, std::vector<std::string>& names) {
  auto nameOf = [&names](const Tag& tag) { return tag.end ? "/" + names[tag.index - 1] : names[tag.index - 1]; };
  std::size_t startIndex = 0;
  if (start.Parent() == nullptr) {
    const std::int64_t mark = in.Position();
    Tag tag = ReadTag(in, ansi, names);
    bool wide = names[tag.index - 1].find('\0') != std::string::npos;
    if (!wide && ansi && in.Position() - mark == 4) {
      // A one-character first name: as UTF-16 (how this library writes) its
      // character is followed by a zero high byte or is no plausible 8-bit
      // name start. Without this test such a document would be read as 8-bit.
      const std::int64_t after = in.Position();
      unsigned char b = 0;
      unsigned char next = 0;
      in.Seek(mark + 3);
      in.ReadByte(b);
      const bool hasNext = in.ReadByte(next);
      wide = !IsNameStart(b) || (hasNext && next == 0);
      in.Seek(after);
    }
    if (!wide && ansi) {
      // A longer first name whose UTF-16 units all have a high byte (Cyrillic,
      // Greek, CJK ...) holds no zero byte either: the width in which the
      // start of the document makes sense decides. Our writer's output
      // always makes sense as UTF-16.
      const std::int64_t after = in.Position();
      const bool eightBitWell = StartsWell(in, mark, true);
      const bool wideWell = StartsWell(in, mark, false);
      wide = wideWell && (!eightBitWell || HoldsControl(names[tag.index - 1]));
      in.Seek(after);
    }
    if (wide) {
      names.clear();
      ansi = false;
      in.Seek(mark);
      tag = ReadTag(in, ansi, names);
    }
    start.SetName(nameOf(tag));
    startIndex = tag.end ? 0 : tag.index;
  }

  struct Frame {
    TxmlNode* node;
    std::string expected;  // "/" and the lower-cased name
    std::size_t index;
  };
  // The rest of an element's start: its value; the frame that waits for its end.
  auto enter = [&](TxmlNode& node, std::string name, std::size_t index) {
    while (name.empty() || name[0] == '?') {
      const Tag tag = ReadTag(in, ansi, names);
      name = nameOf(tag);
      index = tag.end ? 0 : tag.index;
    }
    std::string expected = "/" + xmlchars::LowerCase(name);
    node.SetName(std::move(name));
    node.SetValue(ReadString(in, ansi));
    return Frame{&node, std::move(expected), index};
  };

  xmlnodes::NodePool pool;
  std::vector<Frame> stack;
  stack.push_back(enter(start, start.Name(), startIndex));
  Tag tag = ReadTag(in, ansi, names);
  while (true) {
    Frame& frame = stack.back();
    if (tag.end) {
      if (tag.index != frame.index &&
          !xmlchars::EqualsLowered(names[tag.index - 1], std::string_view(frame.expected).substr(1))) {
        throw TxmlError(xmlerr::ExpectedButFound(frame.expected, nameOf(tag)));
      }
      stack.pop_back();
      if (stack.empty()) return;
      tag = ReadTag(in, ansi, names);
      continue;
    }
    if (names[tag.index - 1].empty()) throw TxmlError(xmlerr::kExpectedTag + xmltext::NextTwoLines(in));
    if (in.AtEnd()) {
      // Cut off right after a start tag: that element is not made.
      stack.pop_back();
      if (stack.empty()) return;
      tag = ReadTag(in, ansi, names);
      continue;
    }
    TxmlNode* parent = frame.node;
    std::unique_ptr<TxmlNode> owned(new (pool) TxmlNode(parent, parent->Document()));
    TxmlNode* child = owned.get();
    parent->Add(std::move(owned));
    stack.push_back(enter(*child, names[tag.index - 1], tag.index));
    tag = ReadTag(in, ansi, names);
  }
}

}  // namespace xmlcompact

// ---- the element-level entry points ----

void TxmlNode::SaveCompressed(TxmlStream& stream) {
  std::vector<std::string> local;
  std::vector<std::string>& names = FDocument != nullptr ? FDocument->UniqueNodeNames : local;
  xmlio::BufferedOutput out(stream);
  xmlcompact::WriteElement(*this, out, names);
  out.Flush();
}

void TxmlNode::LoadCompressed(TxmlStream& stream) {
  bool localWidth = true;
  std::vector<std::string> localNames;
  bool& ansi = FDocument != nullptr ? FDocument->ANSIRead : localWidth;
  std::vector<std::string>& names = FDocument != nullptr ? FDocument->UniqueNodeNames : localNames;
  xmlio::BufferedInput in(stream);
  xmlcompact::ReadElement(*this, in, ansi, names);
}

}  // namespace zephron
