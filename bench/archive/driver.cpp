// Runs one archive operation for the side-by-side benchmark (run.sh) and
// reports its wall time and the process's peak resident memory:
//   archive_bench_driver gen SIZE FILE SEED   semi-compressible test data
//   archive_bench_driver cab CABINET TARGET/  ExtractCabinet
//   archive_bench_driver szdd INPUT OUTPUT    LZ expansion (LzFile + LZCopy)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "archive/cabinet.h"
#include "platform/lz_expand.h"

namespace {

// Words with random bytes mixed in: compresses to about half, like program files.
bool Generate(unsigned long long size, const char* path, unsigned seed) {
  static const char* words[] = {"update ", "cabinet ", "folder ", "zephron ", "file ", "version ", "\r\n",
                                "0x3F ", "setup ", "patch ", "install ", "component "};
  std::mt19937 random(seed);
  std::ofstream out(path, std::ios::binary);
  std::string chunk;
  unsigned long long written = 0;
  while (written < size) {
    chunk.clear();
    while (chunk.size() < (1 << 20)) {
      if (random() % 2 == 0) {
        chunk += static_cast<char>(random() & 0xFF);
      } else {
        chunk += words[random() % 12];
      }
    }
    const auto n = std::min<unsigned long long>(chunk.size(), size - written);
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    written += n;
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: archive_bench_driver gen SIZE FILE SEED | cab CABINET TARGET/ | szdd INPUT OUTPUT\n");
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "gen") return Generate(std::strtoull(argv[2], nullptr, 10), argv[3], argc > 4 ? std::atoi(argv[4]) : 1) ? 0 : 1;

  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  if (mode == "cab") {
    ok = zephron::ExtractCabinet(argv[2], argv[3]) == 0;
  } else if (mode == "szdd") {
    zephron::platform::LzFile file(argv[2]);
    ok = zephron::platform::LZCopy(file, argv[3]) == zephron::platform::LzStatus::kOk;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%s %.3f s, peak RSS %ld KiB\n", ok ? "ok" : "FAILED", seconds, usage.ru_maxrss);
  return ok ? 0 : 1;
}
