#include "xml/xml_document.h"

#include "platform/file_io.h"
#include "xml/xml_compact.h"
#include "xml/xml_error.h"
#include "xml/xml_stream.h"
#include "xml/xml_text.h"
#include "xml/xml_unicode.h"

namespace zephron {

TxmlDocument::TxmlDocument() : FRoot(std::make_unique<TxmlNode>(nullptr, this)) {}

TxmlDocument::~TxmlDocument() = default;

void TxmlDocument::Clear() { FRoot->Clear(); }

void TxmlDocument::ClearNodes(const std::string& Name) { FRoot->ClearNodes(Name); }

TxmlNode* TxmlDocument::NodeByPath(const std::string& path, bool CreateIfNotExists) {
  return FRoot->NodeByPath(path, CreateIfNotExists);
}

TxmlNode* TxmlDocument::NodeByPath(const std::vector<std::string>& path, bool CreateIfNotExists) {
  return FRoot->NodeByPath(path, CreateIfNotExists);
}

TxmlNode* TxmlDocument::NodeByPathWithoutNS(const std::string& path) { return FRoot->NodeByPathWithoutNS(path); }

TxmlNode* TxmlDocument::NodeByPathWithoutNS(const std::vector<std::string>& path) {
  return FRoot->NodeByPathWithoutNS(path);
}

// ---- saving ----

void TxmlDocument::Save(const std::string& FileName, bool Compressed) {
  TxmlFileStream file(FileName, TxmlFileStream::Mode::Create);
  Save(file, Compressed);
}

void TxmlDocument::Save(TxmlStream& stream, bool Compressed) {
  UniqueNodeNames.clear();
  xmlio::BufferedOutput out(stream);
  if (Compressed) {
    xmlcompact::WriteSignature(out);
    xmlcompact::WriteElement(*FRoot, out, UniqueNodeNames);
  } else {
    out.PutUtf16(Header);
    int offset = 0;
    xmltext::WriteElement(*FRoot, out, offset);
  }
  out.Flush();
}

std::string TxmlDocument::AsString(bool Compressed) {
  TxmlMemoryStream stream;
  Save(stream, Compressed);
  return BytesToString(stream.Bytes());
}

std::string TxmlDocument::BytesToString(const std::string& bytes) {
  std::u16string units((bytes.size() + 1) / 2, u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    units[i / 2] = static_cast<char16_t>(units[i / 2] | (i % 2 == 0 ? b : b << 8));
  }
  return xmlchars::Utf16ToUtf8(units, true);
}

bool TxmlDocument::StringNeedsUtf16(const std::string& text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (xmlchars::NextCodePoint(text, pos, true) > 0xFF) return true;
  }
  return false;
}

std::string TxmlDocument::StringToLoadBytes(const std::string& text) {
  const std::u16string units = xmlchars::Utf8ToUtf16(text, true);
  std::string bytes;
  if (!StringNeedsUtf16(text)) {
    // The 8-bit code page of the reader: every character its own byte.
    bytes.reserve(units.size());
    for (const char16_t u : units) bytes.push_back(static_cast<char>(u));
    return bytes;
  }
  // Characters beyond 8 bits would be lost in an 8-bit code page; their
  // UTF-16 code units keep them, and the reader recognises that width.
  bytes.reserve(units.size() * 2);
  for (const char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

// ---- loading ----

void TxmlDocument::ResetForLoad() {
  ANSIRead = true;
  FRoot->Clear();
  FRoot->SetName(std::string());
  FRoot->SetValue(std::string());
  UniqueNodeNames.clear();
}

void TxmlDocument::Load(const std::string& FileName, bool Compressed) {
  ResetForLoad();
  if (!platform::FileExists(FileName)) return;
  TxmlFileStream file(FileName, TxmlFileStream::Mode::OpenRead);
  Load(file, Compressed);
}

void TxmlDocument::Load(TxmlStream& stream, bool Compressed) {
  ResetForLoad();
  if (stream.Size() == 0) return;
  xmlio::BufferedInput in(stream);
  if (Compressed) {
    if (!xmlcompact::CheckSignature(in)) throw TxmlError(xmlerr::kNotCompressed);
    xmlcompact::ReadElement(*FRoot, in, ANSIRead, UniqueNodeNames);
  } else {
    xmltext::ReadElement(*FRoot, in, ANSIRead);
  }
}

void TxmlDocument::LoadFromString(const std::string& text, bool Compressed) {
  TxmlMemoryStream stream(StringToLoadBytes(text));
  Load(stream, Compressed);
}

void TxmlDocument::LoadAuto(const std::string& FileName) {
  bool compressed;
  {
    TxmlFileStream file(FileName, TxmlFileStream::Mode::OpenRead);
    xmlio::BufferedInput in(file);
    compressed = xmlcompact::CheckSignature(in);
  }
  Load(FileName, compressed);
}

void TxmlDocument::LoadFromStringAuto(const std::string& text) {
  ResetForLoad();
  if (text.empty()) return;
  TxmlMemoryStream stream(StringToLoadBytes(text));
  bool compressed;
  {
    xmlio::BufferedInput in(stream);
    compressed = xmlcompact::CheckSignature(in);
  }
  stream.SetPosition(0);
  Load(stream, compressed);
}

// ---- low-level reading ----

std::string TxmlDocument::ReadTagName(TxmlStream& stream) {
  xmlio::BufferedInput in(stream);
  return xmltext::ReadTagName(in, ANSIRead);
}

std::string TxmlDocument::ReadTagValue(TxmlStream& stream) {
  xmlio::BufferedInput in(stream);
  return xmltext::ReadTagValue(in, ANSIRead);
}

std::string TxmlDocument::ReadCompressedTagName(TxmlStream& stream) {
  xmlio::BufferedInput in(stream);
  return xmlcompact::ReadTagName(in, ANSIRead, UniqueNodeNames);
}

std::string TxmlDocument::ReadCompressedTagValue(TxmlStream& stream) {
  xmlio::BufferedInput in(stream);
  return xmlcompact::ReadString(in, ANSIRead);
}

}  // namespace zephron
