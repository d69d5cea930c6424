// The compact binary form of an element tree: a signature, then the elements
// in document order, each name written once in full and afterwards as a
// 15-bit index into a name table that writer and reader build alike.
#pragma once

#include <string>
#include <vector>

#include "xml/xml_stream.h"

namespace zephron {

class TxmlNode;

namespace xmlcompact {

inline constexpr std::uint32_t kSignatureWord1 = 0x1F1F1F1F;
inline constexpr std::uint32_t kSignatureWord2 = 0x009A1D52;
inline constexpr std::uint32_t kShortSignature = 0x0F0F0F0F;
// Indexes must fit in 15 bits.
inline constexpr std::size_t kMaxNames = 32767;

void WriteSignature(xmlio::BufferedOutput& out);
// Raises "Too many distinct element names ..." rather than writing an index
// that would collide with another.
void WriteElement(const TxmlNode& node, xmlio::BufferedOutput& out, std::vector<std::string>& names);

// Reads the signature words from the current position; false when they are
// not a signature.
bool CheckSignature(xmlio::BufferedInput& in);
// Reads one element with its subtree (without recursion).
void ReadElement(TxmlNode& node, xmlio::BufferedInput& in, bool& ansi, std::vector<std::string>& names);

// One tag: a name ("/" in front for an end tag). One compact string.
std::string ReadTagName(xmlio::BufferedInput& in, bool ansi, std::vector<std::string>& names);
std::string ReadString(xmlio::BufferedInput& in, bool ansi);

}  // namespace xmlcompact
}  // namespace zephron
