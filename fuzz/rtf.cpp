// What's-new and agreement texts in rich text, as a server may send them.
#include "fuzz/fuzz_support.h"
#include "ui/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = zephron::fuzz::Bytes(data, size);
  zephron::ui::RtfToHtml(text);
  zephron::ui::RtfToPlainText(text);
  return 0;
}
