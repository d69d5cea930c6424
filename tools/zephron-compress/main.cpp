// zephron-compress INPUT [OUTPUT]: stores INPUT in the platform's single-file
// LZ format (SZDD) with INPUT's last name character recorded in the header.
// OUTPUT defaults to INPUT with its last character replaced by "_"
// (setup.exe -> setup.ex_), as the platform's compress tool names its output.
#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/szdd_compress.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: zephron-compress INPUT [OUTPUT]\n");
    return 2;
  }
  const std::filesystem::path input = argv[1];
  const std::string name = input.filename().string();
  if (name.empty()) {
    std::fprintf(stderr, "zephron-compress: %s names no file\n", argv[1]);
    return 2;
  }
  std::string output;
  if (argc == 3) {
    output = argv[2];
  } else {
    output = input.string();
    output.back() = '_';
  }
  if (std::filesystem::path(output) == input) {
    std::fprintf(stderr, "zephron-compress: output would overwrite %s\n", argv[1]);
    return 2;
  }
  if (!zephron::SzddCompressFile(input, output, name.back())) {
    std::fprintf(stderr, "zephron-compress: cannot compress %s to %s\n", argv[1], output.c_str());
    return 1;
  }
  return 0;
}
