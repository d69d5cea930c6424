#include "app/instance.h"

#include <cstdio>
#include <exception>

#include "app/registry_read.h"
#include "app/updater_log.h"

namespace zephron {

TInstanceClaim ClaimInstanceMutex(const std::string& name) {
  TInstanceClaim claim;
  platform::NamedMutex global("Global\\" + name);
  // A creation that fails for any other reason counts as "did not exist".
  if (!global.alreadyExisted()) claim.bits |= 1;
  if (!global.valid()) claim.guardProblem = global.problem().empty() ? "unknown failure" : global.problem();
  claim.handles.push_back(std::move(global));
  platform::NamedMutex session(name);
  if (!session.alreadyExisted()) claim.bits |= 2;
  claim.handles.push_back(std::move(session));
  return claim;
}

void WarnWhenGuardOff(const TInstanceClaim& claim, const char* program) {
  if (!claim.GuardOff()) return;
  const std::string text = "Warning: the single-instance guard is off (" + claim.guardProblem +
                           "); another updater started now would run at the same time";
  std::fprintf(stderr, "%s: %s\n", program, text.c_str());
  try {
    TUpdaterLog(UpdaterLogFolderFor(GetAppDataFolder()), false).LogLine(text);
  } catch (const std::exception&) {
    // Without a log folder the warning on standard error is all there is.
  }
}

std::optional<TInstanceClaim> ClaimUpdaterStart(const char* program) {
  InitSystem64Bit();
  TInstanceClaim claim = ClaimInstanceMutex(kInstanceMutexName);
  WarnWhenGuardOff(claim, program);
  if ((claim.bits & 1) == 0) return std::nullopt;
  return claim;
}

}  // namespace zephron
