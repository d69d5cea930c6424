// A program for the tests that start programs, the same on every system so
// that they need no shell: it appends its arguments, each in brackets, as
// one line to the file that ZEPHRON_TEST_CHILD_RECORD names (when that is
// set), and ends with the code that a first argument "exit=N" gives, else 0.
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (const char* record = std::getenv("ZEPHRON_TEST_CHILD_RECORD"); record && *record) {
    std::string line;
    for (int i = 1; i < argc; ++i) line += "[" + std::string(argv[i]) + "]";
    std::ofstream(record, std::ios::app | std::ios::binary) << line << "\n";
  }
  const std::string first = argc > 1 ? argv[1] : "";
  if (first.starts_with("exit=")) return std::atoi(first.c_str() + 5);
  return 0;
}
