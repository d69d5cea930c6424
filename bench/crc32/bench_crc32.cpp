// Throughput of our CRC-32 against zlib's on the same 256 MiB buffer and the
// same file, in one run. Prints MB/s (10^6 bytes per second) of both and the
// ratio ours / zlib; "portable" is the table-only path of machines without
// carry-less multiplication. Usage: bench_crc32 [folder for the test file] (default TMPDIR or /tmp).
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"

namespace {

constexpr std::size_t kSize = 256u << 20;
constexpr int kRuns = 5;

// Best of kRuns, in MB/s; the checksum of the last run goes to *result.
double Measure(const std::function<std::uint32_t()>& work, std::uint32_t* result) {
  double best = 0;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    *result = work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::max(best, kSize / took.count() / 1e6);
  }
  return best;
}

std::uint32_t ZlibFile(const std::string& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return 0;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::vector<unsigned char> buffer(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get())) {
    crc = crc32_z(crc, buffer.data(), got);
  }
  return static_cast<std::uint32_t>(crc);
}

void Report(const char* what, double ours, double zlib, bool same) {
  std::printf("%-8s ours %9.0f MB/s   zlib %9.0f MB/s   ratio %.2f   %s\n", what, ours, zlib, ours / zlib,
              same ? "results equal" : "RESULTS DIFFER");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<unsigned char> data(kSize);
  std::mt19937_64 rng(2024);
  for (std::size_t i = 0; i < kSize; i += 8) {
    const std::uint64_t v = rng();
    std::copy_n(reinterpret_cast<const unsigned char*>(&v), 8, data.data() + i);
  }
  const auto bytes = std::as_bytes(std::span(data));

  std::uint32_t oursBuf = 0, zlibBuf = 0;
  const double oursBufRate = Measure([&] { return zephron::Crc32Update(0, bytes); }, &oursBuf);
  std::uint32_t portableBuf = 0;
  const double portableBufRate = Measure([&] { return zephron::detail::Crc32UpdatePortable(0, bytes); }, &portableBuf);
  const double zlibBufRate =
      Measure([&] { return static_cast<std::uint32_t>(crc32_z(0, data.data(), data.size())); }, &zlibBuf);

  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const std::string path = (folder / "zephron-bench-crc32.bin").string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  ZlibFile(path);  // into the page cache, so both read from memory
  std::uint32_t oursFile = 0, zlibFile = 0;
  const double oursFileRate = Measure([&] { return static_cast<std::uint32_t>(zephron::FileCRC32(path)); }, &oursFile);
  const double zlibFileRate = Measure([&] { return ZlibFile(path); }, &zlibFile);
  std::filesystem::remove(path);

  std::printf("CRC-32 of %zu MiB, best of %d runs\n", kSize >> 20, kRuns);
  Report("buffer", oursBufRate, zlibBufRate, oursBuf == zlibBuf);
  Report("portable", portableBufRate, zlibBufRate, portableBuf == zlibBuf);
  Report("file", oursFileRate, zlibFileRate, oursFile == zlibFile);
  // Rows for bench/run.sh's table.
  std::printf("RESULT|CRC-32 of a 256 MiB buffer, vs zlib|%.0f|%.0f|MB/s|>=1.0\n", oursBufRate, zlibBufRate);
  std::printf("RESULT|CRC-32 of a 256 MiB file, vs zlib|%.0f|%.0f|MB/s|>=1.0\n", oursFileRate, zlibFileRate);
  return oursBuf == zlibBuf && portableBuf == zlibBuf && oursFile == zlibFile ? 0 : 1;
}
