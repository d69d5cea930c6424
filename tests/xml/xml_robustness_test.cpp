// Cut-off and corrupted documents of every form: each either loads or raises
// the library's error; nothing crashes, hangs or allocates wildly (the
// sanitizer build checks the memory side).
#include <gtest/gtest.h>

#include <functional>

#include "tests/xml/xml_test_util.h"

namespace zephron::test {
namespace {

void BuildSmallSample(TxmlDocument& doc) {
  TxmlNode* root = doc.Root();
  root->SetName("Request");
  root->CreateSubNode("Type", "br & <x>");
  TxmlNode* config = root->CreateSubNode("Config", "");
  config->CreateSubNode("Item", "é😀");
  config->CreateSubNode("ITEM", std::string(260, 'l'));
  config->CreateSubNode("ns:x", "")->CreateSubNode("y", "1");
}

// Loads the bytes the way the named entry point does; true when it loaded.
using Loader = std::function<void(TxmlDocument&, const std::string&)>;

void ExpectOnlyLibraryErrors(const std::string& sample, const Loader& load, const std::string& label) {
  auto attempt = [&](const std::string& bytes, const std::string& what) {
    TxmlDocument doc;
    try {
      load(doc, bytes);
    } catch (const TxmlError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << label << ", " << what << ": unexpected " << typeid(e).name() << ": " << e.what();
    }
  };
  for (std::size_t cut = 0; cut < sample.size(); ++cut) attempt(sample.substr(0, cut), "cut at " + std::to_string(cut));
  for (std::size_t pos = 0; pos < sample.size(); ++pos) {
    for (const int bit : {0, 3, 6, 7}) {
      std::string flipped = sample;
      flipped[pos] = static_cast<char>(flipped[pos] ^ (1 << bit));
      attempt(flipped, "bit " + std::to_string(bit) + " of byte " + std::to_string(pos));
    }
  }
}

void LoadStream(TxmlDocument& doc, const std::string& bytes, bool compressed) {
  TxmlMemoryStream stream(bytes);
  doc.Load(stream, compressed);
}

TEST(XmlRobustness, DamagedCompactDocumentsOnlyRaiseTheLibraryError) {
  TxmlDocument doc;
  BuildSmallSample(doc);
  TxmlMemoryStream out;
  doc.Save(out, true);
  ExpectOnlyLibraryErrors(out.Bytes(), [](TxmlDocument& d, const std::string& b) { LoadStream(d, b, true); }, "compact");
  // The short signature form reaches the 8-bit reading path.
  const std::string shortForm = std::string("\x0F\x0F\x0F\x0F", 4) + out.Bytes().substr(16);
  ExpectOnlyLibraryErrors(shortForm, [](TxmlDocument& d, const std::string& b) { LoadStream(d, b, true); }, "short");
}

TEST(XmlRobustness, DamagedTextDocumentsOnlyRaiseTheLibraryError) {
  TxmlDocument doc;
  BuildSmallSample(doc);
  TxmlMemoryStream out;
  doc.Save(out, false);
  ExpectOnlyLibraryErrors(out.Bytes(), [](TxmlDocument& d, const std::string& b) { LoadStream(d, b, false); }, "utf16");
  std::string narrow;
  for (std::size_t i = 0; i < out.Bytes().size(); i += 2) narrow.push_back(out.Bytes()[i]);
  ExpectOnlyLibraryErrors(narrow, [](TxmlDocument& d, const std::string& b) { LoadStream(d, b, false); }, "8-bit");
}

TEST(XmlRobustness, DamagedStringsThroughTheAutomaticLoaderOnlyRaiseTheLibraryError) {
  TxmlDocument doc;
  BuildSmallSample(doc);
  const std::string compact = doc.AsString(true);
  const std::string text = doc.AsString(false);
  auto load = [](TxmlDocument& d, const std::string& s) { d.LoadFromStringAuto(s); };
  ExpectOnlyLibraryErrors(compact, load, "compact string");
  ExpectOnlyLibraryErrors(text.substr(0, 200), load, "text string");
}

}  // namespace
}  // namespace zephron::test
