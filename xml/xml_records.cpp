#include "xml/xml_records.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/unicode.h"
#include "xml/xml_error.h"
#include "xml/xml_number.h"
#include "xml/xml_stream.h"
#include "xml/xml_unicode.h"

namespace zephron {

namespace {

struct Field {
  char letter;  // upper case
  std::string name;
  std::int64_t offset;
  std::int64_t size;
};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';'; }

bool IsNameChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Walks the format, calling onField for every field at its offset; returns
// the offset after the last field. stringSize is the size of an S field.
template <typename OnField>
std::int64_t WalkFields(const std::string& Fields, bool IsPacked, std::int64_t stringSize, OnField&& onField) {
  std::int64_t offset = 0;
  std::size_t pos = 0;
  const std::size_t n = Fields.size();
  while (pos < n) {
    if (IsSeparator(Fields[pos])) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    const char letter = platform::AsciiUpper(Fields[pos++]);
    std::int64_t size = 0;
    bool needsSize = false;
    switch (letter) {
      case 'B': case 'C': case 'L': size = 1; break;
      case 'W': size = 2; break;
      case 'I': size = 4; break;
      case 'D': case 'N': size = 8; break;
      case 'R': size = 16; break;
      case 'S': size = stringSize; break;
      case 'T': case 'U': {
        needsSize = true;
        while (pos < n && Fields[pos] >= '0' && Fields[pos] <= '9') {
          if (size <= 65535) size = size * 10 + (Fields[pos] - '0');
          ++pos;
        }
        break;
      }
      default: break;
    }
    const std::size_t last = pos;  // 1-based position of the field's last character so far
    while (pos < n && (Fields[pos] == ' ' || Fields[pos] == '\t')) ++pos;
    const std::size_t nameStart = pos;
    while (pos < n && IsNameChar(Fields[pos])) ++pos;
    std::string name = pos > nameStart ? Fields.substr(nameStart, pos - nameStart) : "Field_" + std::to_string(last);
    if (pos == nameStart) pos = last;
    // A size of 0 could not be aligned; a larger one is no record of ours.
    if (needsSize && (size < 1 || size > 65535)) throw TxmlError(xmlerr::RecordFieldWithoutSize(name));
    if (!IsPacked && start != 0 && size > 0) offset = (offset + size - 1) / size * size;
    onField(Field{letter, std::move(name), offset, size});
    offset += size;
  }
  return offset;
}

void CheckSize(const char* operation, std::int64_t end, int RecordSize, std::size_t available) {
  if (RecordSize > 0 && end != RecordSize) throw TxmlError(xmlerr::RecordSizeMismatch(operation, end, RecordSize));
  if (end > static_cast<std::int64_t>(available)) {
    throw TxmlError(xmlerr::RecordSizeMismatch(operation, end, static_cast<std::int64_t>(available)));
  }
}

std::string FromCp1252(const std::byte* bytes, std::size_t count) {
  return platform::Windows1252ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

template <typename T>
T Load(const std::byte* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Put(std::byte* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

std::string ThreeWide(unsigned value) {
  std::string digits = std::to_string(value);
  return std::string(digits.size() < 3 ? 3 - digits.size() : 0, ' ') + digits;
}

void StoreFields(TxmlNode& node, std::span<const std::byte> rec, const std::string& Fields, bool IsPacked,
                 bool IgnoreDefaults, int RecordSize, bool fromFile) {
  const std::int64_t stringSize = fromFile ? 4 : static_cast<std::int64_t>(sizeof(const std::string*));
  const std::int64_t end = WalkFields(Fields, IsPacked, stringSize, [&](const Field& f) {
    if (std::string("BCDILSTW").find(f.letter) == std::string::npos) {
      throw TxmlError(xmlerr::kUnrecognizedStoreRecordFormat + f.name);
    }
    if (f.offset + f.size > static_cast<std::int64_t>(rec.size())) return;  // the size check reports it
    const std::byte* at = rec.data() + f.offset;
    std::string value;
    bool isDefault = false;
    switch (f.letter) {
      case 'B': {
        const auto b = Load<std::uint8_t>(at);
        isDefault = b == 0;
        value = ThreeWide(b);
        break;
      }
      case 'C': {
        const auto low = static_cast<unsigned char>(at[0]);
        const bool highInside = f.offset + 1 < static_cast<std::int64_t>(rec.size());
        const unsigned char high = highInside ? static_cast<unsigned char>(at[1]) : 0;
        isDefault = low == 0;
        const auto unit = static_cast<char16_t>(low | (high << 8));
        value = unit == 0 ? std::string() : xmlchars::Utf16ToUtf8(std::u16string(1, unit));
        break;
      }
      case 'D': {
        const double d = Load<double>(at);
        isDefault = d == 0.0;
        value = xmlnum::FloatToText(d);
        break;
      }
      case 'I': {
        const auto i = Load<std::int32_t>(at);
        isDefault = i == 0;
        value = xmlnum::IntToText(i);
        break;
      }
      case 'L': {
        const bool l = Load<std::uint8_t>(at) != 0;
        isDefault = !l;
        value = l ? "true" : "false";
        break;
      }
      case 'S': {
        const auto* text = fromFile ? nullptr : Load<const std::string*>(at);
        value = text != nullptr ? *text : std::string();
        isDefault = value.empty();
        break;
      }
      case 'T':
        value = FromCp1252(at + 1, static_cast<std::size_t>(f.size - 1));
        break;
      case 'W': {
        const auto w = Load<std::uint16_t>(at);
        isDefault = w == 0;
        value = xmlnum::IntToText(w);
        break;
      }
      default: break;
    }
    if (IgnoreDefaults && isDefault) return;
    node.StoreSubNode(f.name, value);
  });
  CheckSize("StoreRecord", end, RecordSize, rec.size());
}

}  // namespace

void StoreRecord(TxmlNode& node, std::span<const std::byte> rec, const std::string& Fields, bool IsPacked,
                 bool IgnoreDefaults, int RecordSize) {
  StoreFields(node, rec, Fields, IsPacked, IgnoreDefaults, RecordSize, false);
}

void RestoreRecord(TxmlNode& node, std::span<std::byte> rec, const std::string& Fields, bool IsPacked,
                   int RecordSize, bool ResetMissing, int) {
  const auto stringSize = static_cast<std::int64_t>(sizeof(std::string*));
  const std::int64_t end = WalkFields(Fields, IsPacked, stringSize, [&](const Field& f) {
    if (std::string("BDILSW").find(f.letter) == std::string::npos) return;
    if (f.offset + f.size > static_cast<std::int64_t>(rec.size())) return;  // the size check reports it
    std::byte* at = rec.data() + f.offset;
    TxmlNode* child = node.NodeByName(f.name, false);
    if (child == nullptr && !ResetMissing) return;
    switch (f.letter) {
      case 'B': Put(at, static_cast<std::uint8_t>(child ? child->IntValue() : 0)); break;
      case 'W': Put(at, static_cast<std::uint16_t>(child ? child->IntValue() : 0)); break;
      case 'I': Put(at, static_cast<std::int32_t>(child ? child->IntValue() : 0)); break;
      case 'D': Put(at, child ? child->DoubleValue() : 0.0); break;
      case 'L': Put(at, static_cast<std::uint8_t>(child && child->BoolValue() ? 1 : 0)); break;
      case 'S':
        if (auto* text = Load<std::string*>(at)) *text = child ? child->Value() : std::string();
        break;
      default: break;
    }
  });
  CheckSize("RestoreRecord", end, RecordSize, rec.size());
}

void RestoreRecord(TxmlNode&, std::span<std::byte>, const TFieldDefName&, bool, int, bool, int) {}

void StoreRecordFile(TxmlNode& node, const std::string& FileName, int RecordSize, const std::string& RecordHeader,
                     const std::string& Fields, bool IsPacked, bool IgnoreDefaults) {
  if (RecordSize < 1) throw TxmlError(xmlerr::InvalidRecordSize(RecordSize));
  TxmlFileStream file(FileName, TxmlFileStream::Mode::OpenRead);
  try {
    // Only the bytes the fields cover are kept: a RecordSize far beyond them
    // is refused by the size check without a buffer of that size.
    const std::int64_t layout = WalkFields(Fields, IsPacked, 4, [](const Field&) {});
    std::vector<std::byte> buffer(static_cast<std::size_t>(std::min<std::int64_t>(RecordSize, layout)));
    const std::int64_t size = file.Size();
    for (std::int64_t i = 1, position = 0; position < size; ++i, position += RecordSize) {
      std::fill(buffer.begin(), buffer.end(), std::byte{0});
      file.SetPosition(position);
      const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(size - position,
                                                                          static_cast<std::int64_t>(buffer.size())));
      if (file.Read(buffer.data(), wanted) != wanted) throw TxmlError(xmlerr::kStreamRead);
      TxmlNode* record = node.NodeByName(RecordHeader + "_" + std::to_string(i), true);
      StoreFields(*record, buffer, Fields, IsPacked, IgnoreDefaults, RecordSize, true);
    }
  } catch (const std::exception& error) {
    throw TxmlError(error.what());
  }
}

}  // namespace zephron
