// The updater's single-instance guard: the mutexes "Global\<name>" and
// "<name>", created at start and held until the process ends.
#pragma once

#include <string>
#include <vector>

#include "platform/named_mutex.h"

namespace zephron {

struct TInstanceClaim {
  int bits = 0;  // bit 0: the global name was new; bit 1: the session name was new
  std::vector<platform::NamedMutex> handles;  // held open for the process's life
};

TInstanceClaim ClaimInstanceMutex(const std::string& name);

inline constexpr const char* kInstanceMutexName = "vqZephron";

}  // namespace zephron
