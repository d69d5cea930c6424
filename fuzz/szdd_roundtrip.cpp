// Our SZDD compressor: whatever it compresses expands to the same bytes.
#include "archive/szdd_compress.h"
#include "fuzz/fuzz_support.h"
#include "platform/lz_expand.h"

#include <fstream>
#include <iterator>

using namespace zephron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::Bytes(data, size);
  const char missing = size > 0 ? static_cast<char>(data[0]) : 'e';
  const std::string packed = SzddCompress(input, missing);
  const std::string path = fuzz::WriteScratchFile("round.ex_", packed);
  platform::LzFile file(path);
  if (!file.IsOpen()) fuzz::Fail("our own SZDD file does not open");
  if (file.expandedSize() != size) fuzz::Fail("wrong expanded size in the header");
  if (file.missingChar() != missing) fuzz::Fail("wrong stored name character");
  const std::string out = fuzz::ScratchFolder() + "round.out";
  if (platform::LZCopy(file, out) != platform::LzStatus::kOk) fuzz::Fail("our own SZDD file does not expand");
  std::ifstream in(out, std::ios::binary);
  const std::string expanded{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (expanded != input) fuzz::Fail("expansion differs from the input");
  return 0;
}
