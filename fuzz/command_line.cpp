// Command lines from control files (runbefore, runafter, their parameters)
// split as Windows splits them, and the patcher's own argument reader.
#include "fuzz/fuzz_support.h"
#include "platform/process.h"
#include "tools/patcher/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = zephron::fuzz::Bytes(data, size);
  const std::vector<std::string> args = zephron::platform::SplitCommandLine(text);
  std::size_t total = 0;
  for (const auto& a : args) total += a.size();
  if (total > text.size()) zephron::fuzz::Fail("arguments longer than the command line");
  if (!args.empty()) zephron::patcher::ParseCommandLine(std::span(args).subspan(1));
  return 0;
}
