// XML documents in the text form as files on disk may hold them: a load
// either succeeds or raises the library's own error.
#include "fuzz/fuzz_support.h"
#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_stream.h"

using namespace zephron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TxmlDocument document;
  TxmlMemoryStream stream{std::string(fuzz::Bytes(data, size))};
  try {
    document.Load(stream, false);
  } catch (const TxmlError&) {
    return 0;
  }
  // What was read must save again.
  TxmlMemoryStream out;
  try {
    document.Save(out, false);
  } catch (const TxmlError&) {
  }
  return 0;
}
