// An XML document: the root element that owns the tree, the settings of the
// text writer, the name table of the compact form and the entry points that
// load and save the document as text or in the compact form, from files,
// streams and strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml_node.h"

namespace zephron {

class TxmlStream;

class TxmlDocument {
 public:
  // A document accepts this many node creations in its lifetime.
  static constexpr std::int32_t kMaxNodes = 100'000'000;
  // A text document may nest elements this many levels deep, the element
  // being loaded counting as the first; a deeper one is refused with
  // "Max nesting depth of 10000 levels exceeded!". Nothing real comes near
  // it, and it keeps a hostile file from building a tree nobody can use.
  static constexpr int kMaxTextDepth = 10'000;
  static constexpr const char* kDefaultHeader = "<?xml version='1.0'?>\r\n";

  TxmlDocument();
  ~TxmlDocument();
  TxmlDocument(const TxmlDocument&) = delete;
  TxmlDocument& operator=(const TxmlDocument&) = delete;

  TxmlNode* Root() const { return FRoot.get(); }

  // Name table of the compact form; emptied at the start of every load and save.
  std::vector<std::string> UniqueNodeNames;
  std::string Header = kDefaultHeader;
  bool SaveBlankNodes = false;
  // Nodes ever created for this document, the root included; never lowered.
  std::int32_t NodeCount = 0;
  // Width of the load in progress: true while reading 8-bit text.
  bool ANSIRead = false;

  // ---- tree ----
  void Clear();
  void ClearNodes(const std::string& Name);
  TxmlNode* NodeByPath(const std::string& path, bool CreateIfNotExists);
  TxmlNode* NodeByPath(const std::vector<std::string>& path, bool CreateIfNotExists);
  TxmlNode* NodeByPathWithoutNS(const std::string& path);
  TxmlNode* NodeByPathWithoutNS(const std::vector<std::string>& path);

  // ---- saving ----
  // Creates or empties the file, then writes it (others may read it meanwhile
  // but not write it).
  void Save(const std::string& FileName, bool Compressed = false);
  // Writes at the stream's current position.
  void Save(TxmlStream& stream, bool Compressed = false);
  // The saved bytes taken as UTF-16 code units, returned as UTF-8. An odd
  // byte count (possible in the compact form) is padded with a zero byte so
  // that no byte is lost.
  std::string AsString(bool Compressed = false);

  // ---- loading ----
  // A missing file leaves an empty document.
  void Load(const std::string& FileName, bool Compressed = false);
  // Reads from the stream's current position; an empty stream leaves an empty document.
  void Load(TxmlStream& stream, bool Compressed = false);
  void LoadFromString(const std::string& text, bool Compressed = false);
  // Chooses the form by the compact signature; a missing file fails.
  void LoadAuto(const std::string& FileName);
  void LoadFromStringAuto(const std::string& text);

  // ---- low-level reading used by the element readers ----
  std::string ReadTagName(TxmlStream& stream);
  std::string ReadTagValue(TxmlStream& stream);
  std::string ReadCompressedTagName(TxmlStream& stream);
  std::string ReadCompressedTagValue(TxmlStream& stream);

  // The bytes a string stands for when it is loaded: its characters as 8-bit
  // bytes when all of them fit in 8 bits, otherwise its UTF-16 code units
  // (the reader recognises that width by itself).
  static std::string StringToLoadBytes(const std::string& text);
  // True when the string holds a character above code 255.
  static bool StringNeedsUtf16(const std::string& text);
  // Saved bytes taken as UTF-16 code units, as a UTF-8 string.
  static std::string BytesToString(const std::string& bytes);

 private:
  void ResetForLoad();

  std::unique_ptr<TxmlNode> FRoot;
};

}  // namespace zephron
