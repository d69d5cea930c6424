// The one exception type of the XML document library, and the texts it carries.
// Every failure of a lookup, a load or a save is raised as TxmlError with the
// library's own message, so a host catches one type and shows its text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zephron {

class TxmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The conversion error of the integer getter: a value that is a number but
// not an integer (a fraction, an exponent form, out of the 32-bit range).
class TxmlConvertError : public TxmlError {
 public:
  using TxmlError::TxmlError;
};

namespace xmlerr {

inline constexpr const char* kSlashInName = "XML node can't contain slash characters: ";
inline constexpr const char* kMaxNodes = "Max nodes per document exceeded!";
inline constexpr const char* kExpectedTag = "Expected a tag! Next:";
inline constexpr const char* kNotCompressed = "Not a compressed XML file!";
inline constexpr const char* kReadIntegerEof = "Unable to execute \"StreamReadInteger\", stream EOF!";
inline constexpr const char* kReadStringEof = "Unable to execute \"StreamReadString\", stream EOF!";
inline constexpr const char* kReadBoolEof = "Unable to execute \"StreamReadBool\", stream EOF!";
inline constexpr const char* kTooManyNames =
    "Too many distinct element names for the compressed XML format (more than 32767)!";
inline constexpr const char* kStreamWrite = "Stream write error";
inline constexpr const char* kStreamRead = "Stream read error";
inline constexpr const char* kRemoveRoot = "A node without a parent can't remove itself!";

inline constexpr const char* kUnrecognizedStoreRecordFormat = "Unrecognized StoreRecord format: ";

inline std::string NotAnInteger(const std::string& value) { return "'" + value + "' is not a valid integer value"; }

// "TxmlNode.StoreRecord error: offset %d <> record size %d" and its RestoreRecord twin.
inline std::string RecordSizeMismatch(const char* operation, std::int64_t offset, std::int64_t size) {
  return std::string("TxmlNode.") + operation + " error: offset " + std::to_string(offset) + " <> record size " +
         std::to_string(size);
}

// A T or U field needs a size of 1 to 65535 bytes directly after its letter.
inline std::string RecordFieldWithoutSize(const std::string& name) {
  return "Record field " + name + " has no valid size";
}

inline std::string InvalidRecordSize(std::int64_t size) {
  return "TxmlNode.StoreRecordFile error: invalid record size " + std::to_string(size);
}

inline std::string NestingTooDeep(std::int64_t levels) {
  return "Max nesting depth of " + std::to_string(levels) + " levels exceeded!";
}

// The list's index error, as the run-time library's pointer list words it.
inline std::string ListIndexOutOfBounds(std::int64_t index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

// "Expected %s but found %s!"
inline std::string ExpectedButFound(const std::string& expected, const std::string& found) {
  return "Expected " + expected + " but found " + found + "!";
}

inline std::string NegativeStringLength(std::int64_t length) {
  return "Invalid string length in compressed XML: " + std::to_string(length);
}

}  // namespace xmlerr
}  // namespace zephron
