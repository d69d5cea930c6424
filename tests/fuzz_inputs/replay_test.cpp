// Replays the committed fuzzing inputs (the seed corpus and every input that
// once made a harness fail) through the harness of one parser, in the
// normal build and the sanitizer build alike: a parser that crashes, leaks
// or breaks a harness's check on one of them fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

TEST(ZEPHRON_FUZZ_SUITE, ReplayCorpusAndRegressions) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(nullptr, nullptr);
  const fs::path root = ZEPHRON_FUZZ_DIR;
  int replayed = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = root / kind / ZEPHRON_FUZZ_TARGET;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      SCOPED_TRACE(entry.path().string());
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0) << "no committed inputs for " << ZEPHRON_FUZZ_TARGET;
}
