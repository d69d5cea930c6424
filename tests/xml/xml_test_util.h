// Shared helpers of the XML library tests: UTF-16 byte strings, a sample tree
// with every kind of name and value, and a structural tree comparison.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "xml/xml.h"

namespace zephron::test {

// ASCII text as UTF-16 little-endian bytes.
inline std::string U16(std::string_view ascii) {
  std::string out;
  for (const char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

inline std::string Word(std::uint16_t w) { return std::string{static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)}; }

inline std::string DWord(std::uint32_t v) {
  return Word(static_cast<std::uint16_t>(v & 0xFFFF)) + Word(static_cast<std::uint16_t>(v >> 16));
}

inline std::string Signature() { return DWord(0x1F1F1F1F) + DWord(0x009A1D52) + DWord(0x1F1F1F1F) + DWord(0x009A1D52); }

// A tree with escaping, non-ASCII text, long values, repeated names in other
// letter cases and nesting; every element has a name and either a value or
// children, so both forms keep all of it.
inline void BuildSample(TxmlDocument& doc) {
  TxmlNode* root = doc.Root();
  root->SetName("Request");
  root->CreateSubNode("Type", "br");
  TxmlNode* config = root->CreateSubNode("Config", "");
  config->CreateSubNode("comment", "a < b && c > d; \"quoted\" 'apos' &lt;");
  config->CreateSubNode("Größe", "Привет, мир — ünïcödé 😀 漢字");
  config->CreateSubNode("ns:Item", "first");
  config->CreateSubNode("Item", "second");
  config->CreateSubNode("ITEM", "third");
  std::string longValue;
  for (int i = 0; i < 300; ++i) longValue += static_cast<char>('a' + i % 26);
  root->CreateSubNode("Long", longValue);
  std::string veryLong(70000, 'x');
  veryLong += "é end";
  root->CreateSubNode("VeryLong", veryLong);
  TxmlNode* deep = root->CreateSubNode("Level1", "one");
  deep = deep->CreateSubNode("Level2", "");
  deep->CreateSubNode("Level3", "three\ttabbed inside");
}

// Names (as a reader gives them back: case of the first occurrence in the
// compact form is checked separately) and values of two trees.
inline void ExpectSameTree(const TxmlNode& a, const TxmlNode& b, bool compareNames = true) {
  if (compareNames) {
    EXPECT_EQ(a.Name(), b.Name());
  }
  EXPECT_EQ(a.Value(), b.Value()) << "in " << a.Name();
  ASSERT_EQ(a.Count(), b.Count()) << "in " << a.Name();
  for (int i = 0; i < a.Count(); ++i) ExpectSameTree(*a.Items(i), *b.Items(i), compareNames);
}

// The message of the TxmlError the call raises ("" when it raises none).
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const TxmlError& e) {
    return e.what();
  }
  return {};
}

}  // namespace zephron::test
