// The updater's single-instance guard: the mutexes "Global\<name>" and
// "<name>", created at start and held until the process ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/named_mutex.h"

namespace zephron {

struct TInstanceClaim {
  int bits = 0;  // bit 0: the global name was new; bit 1: the session name was new
  std::vector<platform::NamedMutex> handles;  // held open for the process's life
  // Why the global name could not be created; empty when it was. The program
  // then runs unguarded: a second updater would not be kept out.
  std::string guardProblem;
  bool GuardOff() const { return !guardProblem.empty(); }
};

TInstanceClaim ClaimInstanceMutex(const std::string& name);

// When the guard is off, says so on standard error (prefixed with the
// program's name) and in the updater log, so that passes that run side by
// side are explained; a log that cannot be written is not an error here.
void WarnWhenGuardOff(const TInstanceClaim& claim, const char* program);

inline constexpr const char* kInstanceMutexName = "vqZephron";

// The caption of the window programs' message boxes.
inline constexpr const char* kApplicationTitle = "Corvexis Zephron";

// The start every front end makes before anything else: the 64-bit test of
// the registry reads, the claim of the instance mutexes and the warning when
// the guard is off. nullopt when another updater runs: the program then ends
// at once, without a message of its own.
std::optional<TInstanceClaim> ClaimUpdaterStart(const char* program);

}  // namespace zephron
