#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

namespace zephron::platform {

bool IsTerminal(std::FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) == 1; }

EchoOff::EchoOff(std::FILE* stream) : stream_(stream) {
  termios current{};
  if (stream == nullptr || ::tcgetattr(::fileno(stream), &current) != 0) return;
  saved_ = current.c_lflag;
  current.c_lflag &= static_cast<tcflag_t>(~ECHO);
  active_ = ::tcsetattr(::fileno(stream), TCSAFLUSH, &current) == 0;
}

EchoOff::~EchoOff() {
  termios current{};
  if (!active_ || ::tcgetattr(::fileno(stream_), &current) != 0) return;
  current.c_lflag = static_cast<tcflag_t>(saved_);
  ::tcsetattr(::fileno(stream_), TCSAFLUSH, &current);
}

}  // namespace zephron::platform
