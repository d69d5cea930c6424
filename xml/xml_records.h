// Records kept under an element, one child per field, their layout described
// by a field-format string; and the records of a binary file, one element
// per record.
//
// Fields are separated by blanks, tabs, line breaks, commas or semicolons. A
// field is a type letter (either case), for T and U directly followed by a
// decimal size of 1 to 65535 bytes, then, after optional blanks or tabs, its
// name (0-9, A-Z, a-z, "_"); a field without a name is "Field_" and the
// 1-based position of its last character. Unless packed, a field after the
// first starts at a multiple of its size, as a C++ struct lays them out:
//
//   B 1 unsigned byte (stored "%3.0d": right-aligned in three characters)
//   C 1 character: the 16-bit unit at the field's offset, little-endian; its
//       high byte is taken as 0 when it lies outside the record
//   D 8 double          I 4 32-bit signed     W 2 unsigned 16-bit
//   L 1 Boolean (any byte other than 0 is true)
//   S   a const std::string* (null reads as empty) in memory records; in
//       records read from a file 4 bytes that are never followed, stored as
//       the empty string, since a file holds no valid references
//   T n a length byte and n-1 characters; all n-1 bytes are stored, taken as
//       code page 1252, and T fields are stored even with IgnoreDefaults
//   N 8, R 16, U n: sizes only, nothing to store
//
// A field is only ever read or written inside the bytes given: a layout that
// runs past them fails with the size error, naming the bytes' count when no
// RecordSize was asked for.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "xml/xml_node.h"

namespace zephron {

// Fails with "Unrecognized StoreRecord format: " + the field's name for a
// field without a stored form, and with "TxmlNode.StoreRecord error: offset
// %d <> record size %d" when RecordSize is above 0 and the layout ends
// elsewhere; fields stored before a failure stay stored.
void StoreRecord(TxmlNode& node, std::span<const std::byte> rec, const std::string& Fields, bool IsPacked,
                 bool IgnoreDefaults, int RecordSize);

// Sets B, I, W (truncated to their width), D, L and S fields from the
// children of their names; other letters are passed over. Without the child,
// ResetMissing sets the field to 0, false or the empty string. A null S
// reference is left alone. AbortAfter changes nothing.
void RestoreRecord(TxmlNode& node, std::span<std::byte> rec, const std::string& Fields, bool IsPacked,
                   int RecordSize, bool ResetMissing, int AbortAfter);

// The form that names a field definition instead of the fields does nothing.
struct TFieldDefName {
  std::string name;
};
void RestoreRecord(TxmlNode& node, std::span<std::byte> rec, const TFieldDefName& FieldDefName, bool IsPacked,
                   int RecordSize, bool ResetMissing, int AbortAfter);

// Stores every RecordSize bytes of the file into the child RecordHeader + "_"
// + the record's 1-based number. A last, partial record is stored with its
// missing bytes as zeros. A RecordSize below 1 is refused.
void StoreRecordFile(TxmlNode& node, const std::string& FileName, int RecordSize, const std::string& RecordHeader,
                     const std::string& Fields, bool IsPacked, bool IgnoreDefaults);

}  // namespace zephron
