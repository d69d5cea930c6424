// Our SZDD compressor against the frozen copy of the one it replaced
// (szdd_compress_reference.cpp), file to file as zephron-compress runs it, on
// four kinds of input: program-like data (words and random bytes, as the
// expansion benchmark uses), English-like text, random bytes and zeros.
// Prints the CPU time of each (best of three), the throughput, both output
// sizes and the RESULT lines; every output of ours is expanded again and
// compared with its input.
//   szdd_compress_bench [PROGRAM_MIB] [OTHER_MIB]   (default 64 and 16)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/szdd_compress.h"
#include "bench/archive/szdd_compress_reference.h"
#include "platform/lz_expand.h"

namespace {
namespace fs = std::filesystem;

double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Words with random bytes mixed in, as archive_bench_driver gen makes it.
std::string ProgramLike(std::size_t size, unsigned seed) {
  static const char* words[] = {"update ", "cabinet ", "folder ", "zephron ", "file ", "version ", "\r\n",
                                "0x3F ", "setup ", "patch ", "install ", "component "};
  std::mt19937 random(seed);
  std::string data;
  data.reserve(size + 16);
  while (data.size() < size) {
    if (random() % 2 == 0) {
      data += static_cast<char>(random() & 0xFF);
    } else {
      data += words[random() % 12];
    }
  }
  data.resize(size);
  return data;
}

// Sentences from a vocabulary of a few hundred words with skewed frequencies,
// punctuation and line breaks: long and frequent repeats at every distance.
std::string TextLike(std::size_t size, unsigned seed) {
  static const char* stems[] = {"the", "of", "and", "to", "in", "is", "that", "for", "it", "as", "with", "was",
                                "on", "be", "by", "this", "update", "file", "version", "install", "folder",
                                "program", "server", "window", "system", "setup", "control", "download",
                                "release", "check", "patch", "user", "product", "engine", "restart", "cabinet"};
  static const char* endings[] = {"", "", "", "s", "ed", "ing", "er", "ly"};
  std::mt19937 random(seed);
  std::string data;
  data.reserve(size + 64);
  bool capital = true;
  while (data.size() < size) {
    // Two draws make the lower stems far more frequent, as in real text.
    const std::size_t stem = std::min(random() % 36, random() % 36);
    std::string word = stems[stem];
    word += endings[random() % 8];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    data += word;
    capital = false;
    const unsigned r = random() % 20;
    if (r == 0) {
      data += ".\r\n";
      capital = true;
    } else if (r < 3) {
      data += ". ";
      capital = true;
    } else if (r == 3) {
      data += ", ";
    } else {
      data += ' ';
    }
  }
  data.resize(size);
  return data;
}

std::string Random(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(random() & 0xFF);
  return data;
}

struct Measured {
  double seconds = 1e300;
  std::uintmax_t size = 0;
};

template <typename Compress>
Measured Time(Compress compress, const fs::path& input, const fs::path& output) {
  Measured m;
  for (int run = 0; run < 3; ++run) {
    const double start = CpuNow();
    if (!compress(input, output, 'n')) {
      std::fprintf(stderr, "compression of %s failed\n", input.c_str());
      std::exit(1);
    }
    m.seconds = std::min(m.seconds, CpuNow() - start);
  }
  m.size = fs::file_size(output);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t programMiB = argc > 1 ? std::stoul(argv[1]) : 64;
  const std::size_t otherMiB = argc > 2 ? std::stoul(argv[2]) : 16;
  const fs::path dir = fs::temp_directory_path() / ("zephron-szdd-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);

  struct Input {
    std::string label;
    std::string data;
  };
  std::vector<Input> inputs;
  inputs.push_back({"program-like " + std::to_string(programMiB) + " MiB", ProgramLike(programMiB << 20, 5)});
  inputs.push_back({"text-like " + std::to_string(otherMiB) + " MiB", TextLike(otherMiB << 20, 7)});
  inputs.push_back({"random " + std::to_string(otherMiB) + " MiB", Random(otherMiB << 20, 9)});
  inputs.push_back({"zeros " + std::to_string(otherMiB) + " MiB", std::string(otherMiB << 20, '\0')});

  std::vector<std::string> results;
  bool allOk = true;
  std::printf("%-22s %10s %10s %8s %12s %12s %8s\n", "input", "ours MB/s", "old MB/s", "speed", "ours bytes", "old bytes",
              "size");
  for (const auto& input : inputs) {
    const fs::path in = dir / "input.bin";
    {
      std::ofstream out(in, std::ios::binary);
      out.write(input.data.data(), static_cast<std::streamsize>(input.data.size()));
    }
    const Measured old = Time(zephron::reference::SzddCompressFile, in, dir / "old.bi_");
    const Measured ours = Time(zephron::SzddCompressFile, in, dir / "ours.bi_");
    zephron::platform::LzFile file((dir / "ours.bi_").string());
    const bool ok = zephron::platform::LZCopy(file, (dir / "check.bin").string()) == zephron::platform::LzStatus::kOk &&
                    ReadAll(dir / "check.bin") == input.data;
    if (!ok) std::printf("FAILED: our output for %s does not expand to its input\n", input.label.c_str());
    if (ReadAll(dir / "ours.bi_") == ReadAll(dir / "old.bi_")) std::printf("(%s: the same bytes as the old output)\n", input.label.c_str());
    allOk = allOk && ok;
    const double mb = static_cast<double>(input.data.size()) / 1e6;
    std::printf("%-22s %10.1f %10.1f %7.2fx %12ju %12ju %7.3fx\n", input.label.c_str(), mb / ours.seconds,
                mb / old.seconds, old.seconds / ours.seconds, ours.size, old.size,
                static_cast<double>(ours.size) / static_cast<double>(old.size));
    char line[256];
    std::snprintf(line, sizeof line, "RESULT|SZDD compression %s, vs the old compressor|%.1f|%.1f|MB/s|>=2",
                  input.label.c_str(), mb / ours.seconds, mb / old.seconds);
    results.emplace_back(line);
    std::snprintf(line, sizeof line, "RESULT|SZDD compressed size %s, vs the old compressor|%ju|%ju|bytes|<=1.0",
                  input.label.c_str(), ours.size, old.size);
    results.emplace_back(line);
  }
  fs::remove_all(dir);
  std::printf("(CPU time, best of three; old = the compressor before its rewrite, kept in bench/archive/)\n");
  for (const auto& line : results) std::printf("%s\n", line.c_str());
  return allOk ? 0 : 1;
}
