// The arguments a program was started with, as UTF-8 strings, without the
// program's own name. On Windows they are read from the system's UTF-16
// command line (GetCommandLineW, split by CommandLineToArgvW), since the
// char** of main holds them in the ANSI code page, which loses every
// character outside it; elsewhere they are argv's as they came.
#pragma once

#include <string>
#include <vector>

namespace zephron::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv);

// The whole command line the same way, program name first, for code that
// takes main's argc and argv: the strings live as long as this object.
class Utf8Argv {
 public:
  Utf8Argv(int argc, char** argv) : strings_(ProgramArguments(argc, argv)) {
    strings_.insert(strings_.begin(), argc > 0 && argv && argv[0] ? argv[0] : "");
    for (std::string& text : strings_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
  }
  Utf8Argv(const Utf8Argv&) = delete;
  Utf8Argv& operator=(const Utf8Argv&) = delete;

  int argc() const { return static_cast<int>(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

}  // namespace zephron::platform
