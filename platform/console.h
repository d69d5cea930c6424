// The terminal behind a standard stream: whether there is one (a person to
// ask) and switching its echo off while a password is typed.
#pragma once

#include <cstdio>

namespace zephron::platform {

// True when stream is an interactive terminal (console).
bool IsTerminal(std::FILE* stream);

// Keeps the terminal of stream from echoing what is typed for as long as it
// lives; does nothing when stream has no terminal.
class EchoOff {
 public:
  explicit EchoOff(std::FILE* stream);
  ~EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  std::FILE* stream_;
  unsigned long saved_ = 0;
  bool active_ = false;
};

}  // namespace zephron::platform
