// Records, record files and string lists kept under an element.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace zephron::test {
namespace {

// Raises with exactly this text.
template <typename F>
void ExpectFailure(F&& f, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "no failure, expected: " << text;
  } catch (const TxmlError& error) {
    EXPECT_EQ(std::string(error.what()), text);
  }
}

struct Priced {
  std::int32_t Count;
  double Price;
};

class XmlRecordsTest : public ::testing::Test {
 protected:
  template <typename T>
  static std::span<const std::byte> Bytes(const T& value) {
    return std::as_bytes(std::span(&value, 1));
  }
  template <typename T>
  static std::span<std::byte> Writable(T& value) {
    return std::as_writable_bytes(std::span(&value, 1));
  }

  TxmlDocument doc;
  TxmlNode& root = *doc.Root();
};

TEST_F(XmlRecordsTest, AlignedAndPackedOffsets) {
  const Priced rec{3, 2.5};
  StoreRecord(root, Bytes(rec), "I Count; D Price", false, false, sizeof rec);
  EXPECT_EQ(root.SubNodeValue("Count"), "3");
  EXPECT_EQ(root.SubNodeValue("Price"), "2.5");

  unsigned char packed[16] = {};
  const std::int32_t count = 9;
  const double price = 0.75;
  std::memcpy(packed, &count, 4);
  std::memcpy(packed + 4, &price, 8);
  TxmlNode* p = root.CreateSubNode("Packed", "");
  ExpectFailure([&] { StoreRecord(*p, std::as_bytes(std::span(packed)), "I Count; D Price", true, false, 16); },
                "TxmlNode.StoreRecord error: offset 12 <> record size 16");
  // Fields stored before the size check stay stored.
  EXPECT_EQ(p->SubNodeValue("Price"), "0.75");

  Priced back{};
  RestoreRecord(root, Writable(back), "I Count; D Price", false, sizeof back, false, 0);
  EXPECT_EQ(back.Count, 3);
  EXPECT_EQ(back.Price, 2.5);
  ExpectFailure([&] { RestoreRecord(root, Writable(back), "I Count; D Price", true, 16, false, 0); },
                "TxmlNode.RestoreRecord error: offset 12 <> record size 16");
}

TEST_F(XmlRecordsTest, RefusedFormatsAndFieldsBeyondTheRecord) {
  const Priced rec{1, 1};
  ExpectFailure([&] { StoreRecord(root, Bytes(rec), "X Foo", false, false, 0); },
                "Unrecognized StoreRecord format: Foo");
  ExpectFailure([&] { StoreRecord(root, Bytes(rec), "N Big", false, false, 0); },
                "Unrecognized StoreRecord format: Big");
  ExpectFailure([&] { StoreRecord(root, Bytes(rec), "I a; T Name", false, false, 0); },
                "Record field Name has no valid size");
  ExpectFailure([&] { StoreRecord(root, Bytes(rec), "U0 x", false, false, 0); }, "Record field x has no valid size");
  // Without a RecordSize, the bytes given bound the layout: nothing past them is read.
  TxmlNode* past = root.CreateSubNode("Past", "");
  ExpectFailure([&] { StoreRecord(*past, Bytes(rec), "I a; D b; D c", false, false, 0); },
                "TxmlNode.StoreRecord error: offset 24 <> record size 16");
  EXPECT_EQ(past->SubNodeValue("b"), "1");
  EXPECT_EQ(past->NodeByName("c", false), nullptr);
}

TEST_F(XmlRecordsTest, FieldFormsNamesAndDefaults) {
  // Aligned: Byte 0, Field_9 1, Ch 2 (its unit is the bytes 2 and 3), Word 4,
  // Str 8 (a pointer), Short 18 (16 rounded up to a multiple of 6); 24 bytes.
  const std::string fields = "B Byte, B, C Ch, W Word, S Str, T6 Short";
  const std::string text = "hello";
  const std::string* textRef = &text;
  unsigned char raw[24] = {};
  raw[0] = 7;
  raw[2] = 'Z';
  const std::uint16_t w = 65535;
  std::memcpy(raw + 4, &w, 2);
  std::memcpy(raw + 8, &textRef, sizeof textRef);
  std::memcpy(raw + 18, "\x04" "Caf\xE9\x80", 6);
  StoreRecord(root, std::as_bytes(std::span(raw)), fields, false, false, 24);
  EXPECT_EQ(root.SubNodeValue("Byte"), "  7");
  EXPECT_EQ(root.SubNodeValue("Field_9"), "  0");
  EXPECT_EQ(root.SubNodeValue("Ch"), "Z");
  EXPECT_EQ(root.SubNodeValue("Word"), "65535");
  EXPECT_EQ(root.SubNodeValue("Str"), "hello");
  EXPECT_EQ(root.SubNodeValue("Short"), "Caf\u00e9\u20ac");

  // An all-zero record with IgnoreDefaults creates nothing; T fields are always stored.
  TxmlNode* zero = root.CreateSubNode("Zero", "");
  const unsigned char zeros[32] = {};
  StoreRecord(*zero, std::as_bytes(std::span(zeros)), "B a; C b; D c; I d; L e; W f; S g", false, true, 32);
  EXPECT_EQ(zero->Count(), 0);
  StoreRecord(*zero, std::as_bytes(std::span(zeros).subspan(0, 3)), "T3 t", false, true, 3);
  EXPECT_EQ(zero->Count(), 1);

  std::string restored = "old";
  unsigned char target[24] = {};
  std::string* target_s = &restored;
  std::memcpy(target + 8, &target_s, sizeof target_s);
  root.StoreSubNode("Byte", "300");  // truncated to the field's width
  RestoreRecord(root, std::as_writable_bytes(std::span(target)), fields, false, 24, false, 0);
  EXPECT_EQ(target[0], 300 % 256);
  EXPECT_EQ(restored, "hello");
  TxmlDocument empty;
  target[0] = 9;
  RestoreRecord(*empty.Root(), std::as_writable_bytes(std::span(target)), fields, false, 24, true, 0);
  EXPECT_EQ(target[0], 0);
  EXPECT_EQ(restored, "");
}

TEST_F(XmlRecordsTest, RecordFileWithAPartialLastRecord) {
  const auto file = std::filesystem::path(::testing::TempDir()) / "xml_records_test.bin";
  {
    std::ofstream out(file, std::ios::binary);
    // Two records of 12 bytes (a, b and S bytes that are never followed), the second cut after a.
    const std::int32_t values[4] = {11, 22, 0x05050505, 33};
    out.write(reinterpret_cast<const char*>(values), sizeof values);
  }
  StoreRecordFile(root, file.string(), 12, "Rec", "I a; I b; S s", false, false);
  ASSERT_EQ(root.Count(), 2);
  EXPECT_EQ(root.Items(0)->Name(), "Rec_1");
  EXPECT_EQ(root.Items(0)->SubNodeValue("a"), "11");
  EXPECT_EQ(root.Items(0)->SubNodeValue("b"), "22");
  EXPECT_EQ(root.Items(0)->SubNodeValue("s"), "");
  EXPECT_EQ(root.Items(1)->SubNodeValue("a"), "33");
  // The missing bytes are zeros, not the previous record's.
  EXPECT_EQ(root.Items(1)->SubNodeValue("b"), "0");

  TxmlDocument other;
  ExpectFailure([&] { StoreRecordFile(*other.Root(), file.string(), 12, "Rec", "I a; I b", false, false); },
                "TxmlNode.StoreRecord error: offset 8 <> record size 12");
  EXPECT_THROW(StoreRecordFile(*other.Root(), file.string(), 0, "Rec", "I a", false, false), TxmlError);
  EXPECT_THROW(StoreRecordFile(*other.Root(), (file.string() + ".missing"), 4, "Rec", "I a", false, false),
               TxmlError);
  std::filesystem::remove(file);
}

TEST_F(XmlRecordsTest, StringListsKeepOtherChildrenFirst) {
  root.CreateSubNode("Item", "old1");
  root.CreateSubNode("Other", "x");
  root.CreateSubNode("ITEM", "old2");
  StoreStringList(root, {"a", "b", "c"});
  ASSERT_EQ(root.Count(), 4);
  EXPECT_EQ(root.Items(0)->Name(), "Other");
  std::vector<std::string> list{"kept"};
  root.CreateSubNode("item", "not exact");
  RestoreStringList(root, list);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "a", "b", "c"}));

  root.StoreSubNode("Text", "one\r\ntwo\nthree\r");
  std::vector<std::string> lines{"gone"};
  RestoreStrings(root, "text", lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));
}

}  // namespace
}  // namespace zephron::test
