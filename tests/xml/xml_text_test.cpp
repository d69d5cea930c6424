// The text form: the exact bytes the writer produces and what the reader
// makes of written, hand-made and broken text.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "platform/last_error.h"
#else
#include <unistd.h>
#endif

#include <filesystem>

#include "tests/support/sandbox.h"
#include "tests/xml/xml_test_util.h"
#include "xml/xml_text.h"

namespace zephron::test {
namespace {

// The system's texts for a missing file and a missing folder.
#ifdef _WIN32
std::string MissingFileText() { return platform::SystemErrorText(ERROR_FILE_NOT_FOUND); }
std::string MissingFolderText() { return platform::SystemErrorText(ERROR_PATH_NOT_FOUND); }
#else
std::string MissingFileText() { return "No such file or directory"; }
std::string MissingFolderText() { return "No such file or directory"; }
#endif

const std::string kHeader = "<?xml version='1.0'?>\r\n";

std::string Saved(TxmlDocument& doc, bool compressed = false) {
  TxmlMemoryStream stream;
  doc.Save(stream, compressed);
  return stream.Bytes();
}

void LoadBytes(TxmlDocument& doc, const std::string& bytes, bool compressed = false) {
  TxmlMemoryStream stream(bytes);
  doc.Load(stream, compressed);
}

class XmlText : public ::testing::Test {
 protected:
  TxmlDocument doc;
  TxmlNode* root = doc.Root();
};

TEST_F(XmlText, FreshDocumentWritesOnlyTheHeader) { EXPECT_EQ(Saved(doc), U16(kHeader)); }

TEST_F(XmlText, BlankRootIsWrittenOnlyWithSaveBlankNodes) {
  root->SetName("Request");
  EXPECT_EQ(Saved(doc), U16(kHeader));
  doc.SaveBlankNodes = true;
  EXPECT_EQ(Saved(doc), U16(kHeader + "<Request></Request>\r\n"));
}

TEST_F(XmlText, WriterIndentsChildrenAndEscapesValues) {
  root->SetName("Request");
  root->CreateSubNode("Type", "br");
  root->CreateSubNode("Skipped", "");
  root->CreateSubNode("", "unnamed")->CreateSubNode("below", "gone");
  root->CreateSubNode("Config", "")->CreateSubNode("comment", "a<b & c>d");
  EXPECT_EQ(Saved(doc), U16(kHeader +
                            "<Request>\r\n"
                            "   <Type>br</Type>\r\n"
                            "   <Config>\r\n"
                            "      <comment>a&lt;b &amp; c&gt;d</comment>\r\n"
                            "   </Config>\r\n"
                            "</Request>\r\n"));
  int offset = 3;
  TxmlMemoryStream stream;
  root->Items(0)->Save(stream, offset);
  EXPECT_EQ(offset, 3);
  EXPECT_EQ(stream.Bytes(), U16("   <Type>br</Type>\r\n"));
  EXPECT_EQ(root->Items(3)->AsString(), "<Config>\r\n   <comment>a&lt;b &amp; c&gt;d</comment>\r\n</Config>\r\n");
}

TEST_F(XmlText, NonAsciiTextIsWrittenAsUtf16) {
  root->SetName("r");
  root->SetValue("é😀");
  EXPECT_EQ(Saved(doc), U16(kHeader + "<r>") + std::string("\xE9\x00\x3D\xD8\x00\xDE", 6) + U16("</r>\r\n"));
}

TEST_F(XmlText, TreeSurvivesSaveAndLoadThroughAFile) {
  Sandbox box;
  BuildSample(doc);
  const std::string file = (box.root() / "sample.xml").string();
  doc.Save(file);
  EXPECT_EQ(ReadFile(file), Saved(doc));
  TxmlDocument loaded;
  loaded.Load(file);
  EXPECT_FALSE(loaded.ANSIRead);  // recognised as UTF-16
  ExpectSameTree(*root, *loaded.Root());
  TxmlDocument automatic;
  automatic.LoadAuto(file);
  ExpectSameTree(*root, *automatic.Root());
}

TEST_F(XmlText, BlankNodesSurviveWhenWritten) {
  root->SetName("r");
  root->CreateSubNode("empty", "");
  root->CreateSubNode("full", "1");
  doc.SaveBlankNodes = true;
  TxmlDocument loaded;
  loaded.LoadFromStringAuto(doc.AsString(false));
  ExpectSameTree(*root, *loaded.Root());
}

TEST_F(XmlText, LoadFromStringAutoRebuildsTheDocumentFromAsString) {
  BuildSample(doc);
  const std::string text = doc.AsString(false);
  EXPECT_TRUE(text.starts_with(kHeader + "<Request>\r\n   <Type>br</Type>"));
  TxmlDocument loaded;
  loaded.LoadFromStringAuto(text);
  ExpectSameTree(*root, *loaded.Root());
  // Latin-1 text goes through the 8-bit path and still comes back whole.
  TxmlDocument latin;
  latin.Root()->SetName("r");
  latin.Root()->CreateSubNode("v", "café & crème");
  TxmlDocument latinLoaded;
  latinLoaded.LoadFromString(latin.AsString());
  EXPECT_TRUE(latinLoaded.ANSIRead);
  ExpectSameTree(*latin.Root(), *latinLoaded.Root());
}

TEST_F(XmlText, ValuesLoseSurroundingWhiteSpace) {
  doc.LoadFromString("<r>\r\n \t value with  inner blanks \x01\r\n<a>  x  </a></r>");
  EXPECT_EQ(root->Value(), "value with  inner blanks");
  EXPECT_EQ(root->Items(0)->Value(), "x");
}

TEST_F(XmlText, EightBitEndTagsMatchInAnyCase) {
  doc.LoadFromString("<Root><Item>1</item><ITEM>2</ITEM></ROOT>");
  EXPECT_TRUE(doc.ANSIRead);
  EXPECT_EQ(root->Name(), "Root");
  ASSERT_EQ(root->Count(), 2);
  EXPECT_EQ(root->Items(0)->Name(), "Item");
  EXPECT_EQ(root->Items(1)->Name(), "ITEM");
  EXPECT_EQ(root->Items(1)->Value(), "2");
}

TEST_F(XmlText, DeclarationsAreSkippedAndAttributesDropped) {
  doc.LoadFromString("<?xml version='1.0' encoding='utf-8'?>\r\n<?pi x?><r a=\"1\" b='2'>v<c\tx='y'>w</c><e k='1'/><f/></r>");
  EXPECT_EQ(root->Name(), "r");
  EXPECT_EQ(root->Value(), "v");
  ASSERT_EQ(root->Count(), 3);
  EXPECT_EQ(root->Items(0)->Name(), "c");
  EXPECT_EQ(root->Items(0)->Value(), "w");
  EXPECT_EQ(root->Items(1)->Name(), "e");  // empty element written with attributes
  EXPECT_EQ(root->Items(2)->Name(), "f/");  // the short form keeps its slash
}

TEST_F(XmlText, EndTagOfAnotherElementIsReported) {
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<A><x>1</x></B>"); }), "Expected /a but found /B!");
  EXPECT_EQ(root->Count(), 1);  // the partial tree stays
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<A>v</B>"); }), "Expected /a but found /B!");
}

TEST_F(XmlText, DocumentCutAfterAStartTagLoadsWithoutIt) {
  doc.LoadFromString(kHeader + "<R><a>x</a><b>");
  EXPECT_EQ(root->Name(), "R");
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Name(), "a");
  doc.LoadFromString("<R>");
  EXPECT_EQ(root->Name(), "R");
}

TEST_F(XmlText, DocumentCutAfterAChildReportsAMissingTag) {
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<R><a>x</a>"); }), "Expected a tag! Next:\r\n");
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<R><a>x</a><>rest\rsecond\rthird"); }),
            "Expected a tag! Next:rest\r\nsecond");
  // The same in UTF-16: the written bytes would be cut at the first zero byte.
  EXPECT_EQ(ErrorOf([&] { LoadBytes(doc, U16("<R><a>x</a>")); }), "Expected a tag! Next:\r\n");
}

TEST_F(XmlText, Utf8ByteOrderMarkFileLoadsByteByByte) {
  Sandbox box;
  const auto file = box.root() / "bom.xml";
  WriteFile(file, "\xEF\xBB\xBF<a>caf\xC3\xA9</a>");
  doc.Load(file.string());
  EXPECT_TRUE(doc.ANSIRead);
  EXPECT_EQ(root->Name(), "a");
  EXPECT_EQ(root->Value(), "caf\xC3\x83\xC2\xA9");  // U+00C3 U+00A9
}

TEST_F(XmlText, EmptyAndTaglessInputGiveAnEmptyDocument) {
  root->SetName("old");
  root->SetValue("stale");
  LoadBytes(doc, "");
  EXPECT_EQ(root->Name(), "");
  EXPECT_EQ(root->Value(), "");
  doc.LoadFromString("no tags at all");
  EXPECT_EQ(root->Name(), "");
  EXPECT_EQ(root->Count(), 0);
  doc.LoadFromStringAuto("");
  EXPECT_EQ(root->Name(), "");
}

TEST_F(XmlText, LoadReadsFromTheStreamsPosition) {
  TxmlMemoryStream stream("junk<a>1</a>");
  stream.SetPosition(4);
  doc.Load(stream);
  EXPECT_EQ(root->Name(), "a");
  EXPECT_EQ(root->Value(), "1");
}

TEST_F(XmlText, NodeLoadReadsIntoASubtree) {
  // A node with a parent has its start tag read already (its parent set the name).
  TxmlNode* child = root->CreateSubNode("holder", "");
  child->Load(std::string("1<y>2</y></HOLDER>"));
  EXPECT_EQ(child->Value(), "1");
  ASSERT_EQ(child->Count(), 1);
  EXPECT_EQ(child->Items(0)->Value(), "2");
  TxmlNode detached(nullptr, nullptr);
  detached.Load(std::string("<x>1<y>2</y></x>"));
  EXPECT_EQ(detached.Name(), "x");
  ASSERT_EQ(detached.Count(), 1);
  EXPECT_EQ(detached.Items(0)->Value(), "2");
}

TEST_F(XmlText, AsTextListsNamesAndValues) {
  root->SetName("r");
  root->CreateSubNode("a", "1<2")->CreateSubNode("b", "x");
  root->CreateSubNode("c", "");
  EXPECT_EQ(root->AsText(), "r:\r\n   a:1<2\r\n      b:x\r\n");
}

TEST_F(XmlText, MissingFileLoadsEmptyButLoadAutoFails) {
  Sandbox box;
  const std::string file = (box.root() / "missing.xml").string();
  root->SetName("x");
  doc.Load(file);
  EXPECT_EQ(root->Name(), "");
  EXPECT_EQ(ErrorOf([&] { doc.LoadAuto(file); }), "Unable to open file " + file + "\r\n" + MissingFileText());
}

// A file its owner may not read exists only where permissions are POSIX ones.
#ifndef _WIN32
TEST_F(XmlText, UnreadableFileIsReported) {
  Sandbox box;
  const auto file = box.root() / "locked.xml";
  WriteFile(file, "<a>1</a>");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  EXPECT_EQ(test::AsUnprivilegedUser(box, {file}, [&]() -> std::string {
              const std::string error = ErrorOf([&] { doc.Load(file.string()); });
              const std::string expected = "Unable to open file " + file.string() + "\r\nPermission denied";
              return error == expected ? "" : "got: " + error;
            }),
            "");
}
#endif

TEST_F(XmlText, FileThatCannotBeCreatedIsReported) {
  Sandbox box;
  const std::string file = (box.root() / "no/such/folder/x.xml").string();
  root->SetName("r");
  EXPECT_EQ(ErrorOf([&] { doc.Save(file); }), "Unable to create file " + file + "\r\n\r\n" + MissingFolderText());
}

TEST_F(XmlText, SaveDoesNotWipeAFileAnotherWriterHolds) {
  Sandbox box;
  const std::string file = (box.root() / "held.xml").string();
  WriteFile(file, "keep me");
  root->SetName("r");
  root->SetValue("v");
  {
    TxmlFileStream holder(file, TxmlFileStream::Mode::Create);
    holder.Write("held", 4);
    const std::string error = ErrorOf([&] { doc.Save(file); });
    EXPECT_TRUE(error.starts_with("Unable to create file " + file + "\r\n\r\n")) << error;
    EXPECT_EQ(ReadFile(file), "held");
    // Readers are not kept out.
    TxmlDocument reader;
    EXPECT_EQ(ErrorOf([&] { reader.Load(file); }), "");
  }
  doc.Save(file);
  EXPECT_EQ(ReadFile(file), Saved(doc));
}

TEST_F(XmlText, MillionNestedStartTagsAreRefusedWithoutRecursion) {
  std::string text;
  for (int i = 0; i < 1'000'000; ++i) text += "<a>";
  const std::string tooDeep = "Max nesting depth of 10000 levels exceeded!";
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString(text); }), tooDeep);
  for (int i = 0; i < 1'000'000; ++i) text += "</a>";
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString(text); }), tooDeep);
}

TEST_F(XmlText, NestingAtTheBoundLoadsAndSavesInLinearSize) {
  constexpr int kLevels = TxmlDocument::kMaxTextDepth;
  std::string text;
  for (int i = 0; i < kLevels; ++i) text += "<a>";
  text += "leaf";
  for (int i = 0; i < kLevels; ++i) text += "</a>";
  doc.LoadFromString(text);
  const std::string saved = Saved(doc);
  // Two lines a level at most: indentation stops growing, so deep trees do
  // not make quadratic text.
  EXPECT_LT(saved.size(), static_cast<std::size_t>(kLevels) * 2 * (2 * xmltext::kMaxIndent + 32));
  TxmlDocument loaded;
  LoadBytes(loaded, saved);
  int depth = 1;
  const TxmlNode* n = loaded.Root();
  for (; n->Count() > 0; n = n->Items(0)) ++depth;
  EXPECT_EQ(depth, kLevels);
  EXPECT_EQ(n->Value(), "leaf");
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<b>" + text + "</b>"); }), "Max nesting depth of 10000 levels exceeded!");
}

TEST_F(XmlText, LargeDocumentReadsAcrossBufferBoundaries) {
  root->SetName("r");
  for (int i = 0; i < 20000; ++i) {
    root->CreateSubNode("item" + std::to_string(i % 7), std::string(static_cast<std::size_t>(i % 13), 'v') + "é" + std::to_string(i));
  }
  const std::string bytes = Saved(doc);
  ASSERT_GT(bytes.size(), 3u << 16);
  TxmlDocument wide;
  LoadBytes(wide, bytes);
  ExpectSameTree(*root, *wide.Root());
  // From an odd position every buffer boundary splits a UTF-16 unit.
  TxmlMemoryStream shifted("#" + bytes);
  shifted.SetPosition(1);
  TxmlDocument odd;
  odd.Load(shifted);
  ExpectSameTree(*root, *odd.Root());
  // The same as 8-bit text, shifted by one byte so units straddle buffers.
  std::string narrow = " ";
  for (std::size_t i = 0; i < bytes.size(); i += 2) narrow.push_back(bytes[i]);
  TxmlDocument eight;
  LoadBytes(eight, narrow);
  ExpectSameTree(*root, *eight.Root());
}

TEST_F(XmlText, CharactersSplitByTheReadBufferSurviveInBothWidths) {
  // The reader takes the input in pieces of 64 KiB; across these fillers
  // every character of the value (an entity, a surrogate pair, a lone high
  // surrogate, the end tag) lands on a piece's boundary once.
  const std::string pair("\x3D\xD8\x00\xDE", 4);  // U+1F600
  const std::string lone("\x3D\xD8", 2);
  for (std::size_t n = 32'730; n < 32'770; ++n) {
    SCOPED_TRACE(n);
    const std::string filler(n, 'a');
    TxmlDocument wide;
    LoadBytes(wide, U16("<r><f>" + filler + "</f><v>a&amp;b") + pair + U16("c&lt;") + lone + U16("</v></r>"));
    ASSERT_EQ(wide.Root()->Count(), 2);
    EXPECT_EQ(wide.Root()->Items(0)->Value(), filler);
    EXPECT_EQ(wide.Root()->Items(1)->Value(), "a&b\xF0\x9F\x98\x80" "c<\xEF\xBF\xBD");
    TxmlDocument eight;
    LoadBytes(eight, "<r><f>" + filler + filler + "</f><v>a&amp;b\xE9" "c&lt;</V></r>");
    ASSERT_EQ(eight.Root()->Count(), 2);
    EXPECT_EQ(eight.Root()->Items(1)->Value(), "a&b\xC3\xA9" "c<");
  }
}

// A tag or value that lies whole in the read buffer is converted in one
// piece; names and values beyond ASCII, lone surrogates and a high surrogate
// before another character come out as they do character by character.
TEST_F(XmlText, CharactersWithinTheReadBufferConvertInBothWidths) {
  const std::string pe("\x1F\x04", 2);    // U+041F
  const std::string low("\x00\xDC", 2);   // a lone low surrogate
  const std::string high("\x3D\xD8", 2);  // a high surrogate before "c"
  TxmlDocument wide;
  LoadBytes(wide, U16("<r><n") + pe + U16(">a") + low + U16("b") + high + U16("c</n") + pe + U16("></r>"));
  ASSERT_EQ(wide.Root()->Count(), 1);
  EXPECT_EQ(wide.Root()->Items(0)->Name(), "n\xD0\x9F");
  EXPECT_EQ(wide.Root()->Items(0)->Value(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c");
  TxmlDocument eight;
  LoadBytes(eight, "<r><n\xC4>\xE9t\xE9 </N\xC4></r>");
  ASSERT_EQ(eight.Root()->Count(), 1);
  EXPECT_EQ(eight.Root()->Items(0)->Name(), "n\xC3\x84");
  EXPECT_EQ(eight.Root()->Items(0)->Value(), "\xC3\xA9t\xC3\xA9");
}

}  // namespace
}  // namespace zephron::test
