#include "platform/console.h"

#include <io.h>
#include <windows.h>

namespace zephron::platform {
namespace {

HANDLE ConsoleOf(std::FILE* stream) {
  if (stream == nullptr) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(ConsoleOf(stream), &mode) != 0;
}

EchoOff::EchoOff(std::FILE* stream) : stream_(stream) {
  DWORD mode = 0;
  const HANDLE console = ConsoleOf(stream);
  if (::GetConsoleMode(console, &mode) == 0) return;
  saved_ = mode;
  active_ = ::SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

EchoOff::~EchoOff() {
  if (active_) ::SetConsoleMode(ConsoleOf(stream_), static_cast<DWORD>(saved_));
}

}  // namespace zephron::platform
