// The text form of an element tree: the UTF-16 little-endian writer and the
// small reader that accepts UTF-16 and 8-bit text, skips declarations, drops
// attributes and matches end tags without regard to case.
#pragma once

#include <string>

#include "xml/xml_stream.h"

namespace zephron {

class TxmlNode;

namespace xmltext {

// Indentation grows by 3 blanks a level up to this many blanks and then
// stays there, so that the text of any tree, however deep, is linear in its
// size; the reader ignores the blanks either way.
inline constexpr int kMaxIndent = 300;

// Writes `node` and its subtree (nothing for an unnamed or blank element).
void WriteElement(const TxmlNode& node, xmlio::BufferedOutput& out, int& Offset);

// Reads one element with its subtree into `node` (without recursion), up to
// TxmlDocument::kMaxTextDepth levels. `ansi` is the width flag of the load.
void ReadElement(TxmlNode& node, xmlio::BufferedInput& in, bool& ansi);

// One tag name / tag value in the width `ansi` selects.
std::string ReadTagName(xmlio::BufferedInput& in, bool ansi);
std::string ReadTagValue(xmlio::BufferedInput& in, bool ansi);

// The two lines after a missing tag, for "Expected a tag! Next:".
std::string NextTwoLines(xmlio::BufferedInput& in);

}  // namespace xmltext
}  // namespace zephron
