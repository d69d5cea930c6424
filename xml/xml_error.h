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
