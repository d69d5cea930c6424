// The compact form: its exact bytes, the signatures it accepts, its name
// table and the checks that keep corrupt input from doing harm.
#include <gtest/gtest.h>

#include "tests/support/sandbox.h"
#include "tests/xml/xml_test_util.h"

namespace zephron::test {
namespace {

std::string Compact(TxmlDocument& doc) {
  TxmlMemoryStream stream;
  doc.Save(stream, true);
  return stream.Bytes();
}

void LoadCompact(TxmlDocument& doc, const std::string& bytes) {
  TxmlMemoryStream stream(bytes);
  doc.Load(stream, true);
}

// A compact string as this library writes it (ASCII text).
std::string Str(std::string_view ascii) { return std::string(1, static_cast<char>(ascii.size())) + U16(ascii); }

class XmlCompact : public ::testing::Test {
 protected:
  TxmlDocument doc;
  TxmlNode* root = doc.Root();
};

TEST_F(XmlCompact, UnnamedRootIsTheSignatureAloneAndDoesNotLoad) {
  EXPECT_EQ(Compact(doc), Signature());
  TxmlDocument loaded;
  EXPECT_EQ(ErrorOf([&] { LoadCompact(loaded, Signature()); }), "Unable to execute \"StreamReadInteger\", stream EOF!");
}

TEST_F(XmlCompact, RootWithValueHasTheDocumentedBytes) {
  root->SetName("Request");
  root->SetValue("v");
  EXPECT_EQ(Compact(doc), Signature() + Word(0) + Str("Request") + Str("v") + Word(0x8001));
  root->SetValue("");
  EXPECT_EQ(Compact(doc), Signature());  // blank elements are never written here
}

TEST_F(XmlCompact, NamesDifferingInCaseShareOneIndex) {
  root->SetName("r");
  root->CreateSubNode("Item", "1");
  root->CreateSubNode("ITEM", "2");
  const std::string bytes = Compact(doc);
  EXPECT_EQ(bytes, Signature() + Word(0) + Str("r") + Str("") + Word(0) + Str("Item") + Str("1") + Word(0x8002) +
                       Word(2) + Str("2") + Word(0x8002) + Word(0x8001));
  ASSERT_EQ(doc.UniqueNodeNames, (std::vector<std::string>{"r", "Item"}));
  TxmlDocument loaded;
  LoadCompact(loaded, bytes);
  ASSERT_EQ(loaded.Root()->Count(), 2);
  EXPECT_EQ(loaded.Root()->Items(0)->Name(), "Item");
  EXPECT_EQ(loaded.Root()->Items(1)->Name(), "Item");
  EXPECT_EQ(loaded.Root()->Items(1)->Value(), "2");
}

TEST_F(XmlCompact, LongValuesUseTheLongLength) {
  root->SetName("r");
  root->SetValue(std::string(300, 'x'));
  const std::string bytes = Compact(doc);
  EXPECT_EQ(bytes.substr(16 + 2 + 3, 5), "\xFF" + DWord(300));
  root->SetValue(std::string(254, 'y'));
  EXPECT_EQ(Compact(doc).substr(16 + 2 + 3, 1), "\xFE");
  root->SetValue(std::string(255, 'z'));
  EXPECT_EQ(Compact(doc).substr(16 + 2 + 3, 5), "\xFF" + DWord(255));
}

TEST_F(XmlCompact, TreeSurvivesSaveAndLoad) {
  BuildSample(doc);
  Sandbox box;
  const std::string file = (box.root() / "sample.bin").string();
  doc.Save(file, true);
  TxmlDocument loaded;
  loaded.Load(file, true);
  EXPECT_FALSE(loaded.ANSIRead);
  // ITEM comes back in the letter case of the earlier Item.
  doc.Root()->Items(1)->Items(4)->SetName("Item");
  ExpectSameTree(*root, *loaded.Root());
  TxmlDocument automatic;
  automatic.LoadAuto(file);
  ExpectSameTree(*root, *automatic.Root());
  // Values are stored unescaped.
  EXPECT_EQ(loaded.Root()->Items(1)->Items(0)->Value(), "a < b && c > d; \"quoted\" 'apos' &lt;");
}

TEST_F(XmlCompact, AsStringLosesNoByteAndLoadsBack) {
  BuildSample(doc);
  const std::string text = doc.AsString(true);
  TxmlDocument loaded;
  loaded.LoadFromString(text, true);
  doc.Root()->Items(1)->Items(4)->SetName("Item");
  ExpectSameTree(*root, *loaded.Root());
  TxmlDocument automatic;
  automatic.LoadFromStringAuto(text);
  ExpectSameTree(*root, *automatic.Root());
}

TEST_F(XmlCompact, SingleCharacterRootNamesLoadBack) {
  for (const std::string name : {"A", "é", "Я", "文"}) {
    TxmlDocument d;
    d.Root()->SetName(name);
    d.Root()->CreateSubNode("b", "");
    d.Root()->CreateSubNode("c", "1");
    TxmlDocument loaded;
    LoadCompact(loaded, Compact(d));
    EXPECT_EQ(loaded.Root()->Name(), name);
    ASSERT_EQ(loaded.Root()->Count(), 1) << name;
    EXPECT_EQ(loaded.Root()->Items(0)->Value(), "1");
  }
}

TEST_F(XmlCompact, NonAsciiRootNamesLoadBack) {
  for (const std::string name : {"Да", "Привет", "日本", "中文", "Ωμέγα", "éa", "Ää", "Größe"}) {
    for (const bool children : {false, true}) {
      TxmlDocument d;
      d.Root()->SetName(name);
      d.Root()->SetValue(children ? "" : "v");
      if (children) d.Root()->CreateSubNode(name, "1")->CreateSubNode("x", "2");
      TxmlDocument loaded;
      EXPECT_EQ(ErrorOf([&] { LoadCompact(loaded, Compact(d)); }), "") << name;
      EXPECT_EQ(loaded.Root()->Name(), name);
      ExpectSameTree(*d.Root(), *loaded.Root());
    }
  }
}

TEST_F(XmlCompact, ShortSignatureIsAccepted) {
  LoadCompact(doc, DWord(0x0F0F0F0F) + Word(0) + Str("Root") + Str("v") + Word(0x8001));
  EXPECT_EQ(root->Name(), "Root");
  EXPECT_EQ(root->Value(), "v");
}

TEST_F(XmlCompact, EightBitStringsAreUtf8) {
  const std::string bytes = DWord(0x0F0F0F0F) + Word(0) + "\x04Root" + "\x02\xC3\xA9" + Word(0) + "\x03Sub" +
                            "\x03" + "\xE2\x82\xAC" + Word(0x8002) + Word(0x8001);
  LoadCompact(doc, bytes);
  EXPECT_TRUE(doc.ANSIRead);
  EXPECT_EQ(root->Name(), "Root");
  EXPECT_EQ(root->Value(), "é");
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Value(), "€");
}

TEST_F(XmlCompact, OtherSignaturesAreRefused) {
  root->SetName("x");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, U16("<?xml version='1.0'?>")); }), "Not a compressed XML file!");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, DWord(0x1F1F1F1F) + DWord(0x009A1D52) + DWord(0) + DWord(0)); }),
            "Not a compressed XML file!");
  EXPECT_EQ(root->Name(), "");
  LoadCompact(doc, "");  // an empty stream is an empty document
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, "x"); }), "Unable to execute \"StreamReadInteger\", stream EOF!");
}

TEST_F(XmlCompact, LoadAutoTellsTheFormsApart) {
  Sandbox box;
  const std::string text = (box.root() / "t.xml").string();
  root->SetName("r");
  root->SetValue("v");
  doc.Save(text);
  TxmlDocument loaded;
  loaded.LoadAuto(text);
  EXPECT_EQ(loaded.Root()->Value(), "v");
  const std::string tiny = (box.root() / "tiny").string();
  WriteFile(tiny, "<");
  EXPECT_EQ(ErrorOf([&] { loaded.LoadAuto(tiny); }), "Unable to execute \"StreamReadInteger\", stream EOF!");
  WriteFile(tiny, "<a>");  // too short for a signature: read as text
  loaded.LoadAuto(tiny);
  EXPECT_EQ(loaded.Root()->Name(), "a");
}

TEST_F(XmlCompact, TagIndexBeyondTheTableRaisesTheIndexError) {
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, Signature() + Word(0) + Str("r") + Str("") + Word(5) + Str("x")); }),
            "List index out of bounds (4)");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, Signature() + Word(0) + Str("r") + Str("") + Word(0x8000)); }),
            "List index out of bounds (-1)");
}

TEST_F(XmlCompact, BadStringLengthsFailBeforeAllocating) {
  const std::string head = Signature() + Word(0) + Str("r");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + "\xFF" + DWord(0x7FFFFFFF) + U16("abc") + Word(0x8001)); }),
            "Unable to execute \"StreamReadString\", stream EOF!");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + "\xFF" + DWord(0xFFFFFFF0) + U16("abc") + Word(0x8001)); }),
            "Invalid string length in compressed XML: -16");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + "\xFF\x01"); }), "Unable to execute \"StreamReadInteger\", stream EOF!");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + "\x05"); }), "Unable to execute \"StreamReadString\", stream EOF!");
}

TEST_F(XmlCompact, MismatchedAndMissingTagsAreReported) {
  const std::string head = Signature() + Word(0) + Str("r") + Str("") + Word(0) + Str("a") + Str("1");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + Word(0x8001)); }), "Expected /a but found /r!");
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + Word(0) + Str("") + "next\rline\rmore"); }),
            "Expected a tag! Next:next\r\nline");
  // Cut off after a child: the root's end tag is missing.
  EXPECT_EQ(ErrorOf([&] { LoadCompact(doc, head + Word(0x8002)); }), "Unable to execute \"StreamReadInteger\", stream EOF!");
  // Cut off right after a start tag: loads without that element.
  LoadCompact(doc, head + Word(0x8002) + Word(0) + Str("b"));
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Name(), "a");
}

TEST_F(XmlCompact, MoreThan32767NamesAreRefused) {
  root->SetName("r");
  for (int i = 1; i < 32767; ++i) root->CreateSubNode("n" + std::to_string(i), "v");
  TxmlDocument loaded;
  LoadCompact(loaded, Compact(doc));
  ASSERT_EQ(loaded.Root()->Count(), 32766);
  EXPECT_EQ(loaded.Root()->Items(32765)->Name(), "n32766");
  root->CreateSubNode("N1", "same name, other case");
  LoadCompact(loaded, Compact(doc));
  root->CreateSubNode("one-too-many", "v");
  EXPECT_EQ(ErrorOf([&] { Compact(doc); }),
            "Too many distinct element names for the compressed XML format (more than 32767)!");
}

TEST_F(XmlCompact, MillionNestedElementsRoundTrip) {
  TxmlNode* node = root;
  root->SetName("r");
  for (int i = 0; i < 1'000'000; ++i) node = node->CreateSubNode("n", "");
  node->SetValue("leaf");
  TxmlDocument loaded;
  LoadCompact(loaded, Compact(doc));
  int depth = 0;
  const TxmlNode* n = loaded.Root();
  for (; n->Count() > 0; n = n->Items(0)) ++depth;
  EXPECT_EQ(depth, 1'000'000);
  EXPECT_EQ(n->Value(), "leaf");
}

}  // namespace
}  // namespace zephron::test
