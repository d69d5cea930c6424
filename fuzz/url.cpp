// The text helpers on update locations taken from control files.
#include "fuzz/fuzz_support.h"
#include "transfer/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = zephron::fuzz::Bytes(data, size);
  const std::string file = zephron::url::URLtoFile(text);
  if (file.find('/') != std::string::npos || file.find('\\') != std::string::npos) {
    zephron::fuzz::Fail("a download name with a separator");
  }
  zephron::url::URLToDomain(text);
  const std::size_t split = text.find('\n');
  zephron::url::MakeProxyUrl(text, split == std::string_view::npos ? "user" : text.substr(split), "pw");
  return 0;
}
