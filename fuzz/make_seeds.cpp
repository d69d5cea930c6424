// Writes the seed inputs that no outside tool makes: element trees in the
// text and compact XML forms, PE32 / PE32+ programs with a version
// resource, and cabinets with hostile stored names. fuzz/make_corpus.sh runs it; the results are committed.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/version_info_writer.h"
#include "tests/archive/cab_writer.h"
#include "tests/version/pe_writer.h"
#include "xml/xml_document.h"
#include "xml/xml_stream.h"

using namespace zephron;

namespace {

void Put(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Saved(TxmlDocument& document, bool compact) {
  TxmlMemoryStream out;
  document.Save(out, compact);
  return out.TakeBytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: fuzz_make_seeds CORPUS-FOLDER\n";
    return 2;
  }
  const std::filesystem::path corpus = argv[1];

  TxmlDocument document;
  document.Root()->SetName("zephron");
  document.NodeByPath("window/left", true)->SetValue("120");
  document.NodeByPath("window/top", true)->SetValue("80");
  document.NodeByPath("window/state", true)->SetValue("normal");
  document.NodeByPath("products/quillon", true)->SetValue("Vardel Quillon \xc3\xa9\xe2\x82\xac");
  for (const bool compact : {false, true}) {
    const std::string dir = compact ? "xml_compact" : "xml_text";
    Put(corpus / dir / "window.xml", Saved(document, compact));
  }
  Put(corpus / "xml_text" / "plain.xml",
      "<?xml version='1.0'?>\r\n<a>\r\n   <b x='1'>v&amp;w</b>\r\n   <c/>\r\n</a>\r\n");

  platform::VersionInfoContent content;
  content.fixed->dwFileVersionMS = 0x00040002;
  content.fixed->dwFileVersionLS = 0x00000007;
  content.stringTables.push_back({0x0409, 0x04B0, {{"CompanyName", "Corvexis"}, {"FileVersion", "4.2.0.7"},
                                                  {"ProductName", "Tessel Server"}}});
  content.translations = {0x04B00409};
  const auto block = platform::BuildVersionInfo(content);
  if (!block) return 1;
  Put(corpus / "version_info" / "block.bin",
      std::string(reinterpret_cast<const char*>(block->data()), block->size()));
  Put(corpus / "version_info" / "pe32.exe", test::MakePe(test::TypicalPe(*block, false)));
  Put(corpus / "version_info" / "pe32plus.exe", test::MakePe(test::TypicalPe(*block, true)));

  // Names that climb out of the target or are absolute, beside a good one.
  test::CabPart hostile;
  hostile.blocks.push_back({"goodevilroot", 12});
  hostile.entries.push_back({"good.txt", 4, 0});
  hostile.entries.push_back({"..\\..\\evil.txt", 4, 4});
  hostile.entries.push_back({"\\tmp\\root.txt", 4, 8});
  Put(corpus / "cabinet" / "hostile_names.cab", test::WriteCabinet(hostile));
  return 0;
}
