#include "app/instance.h"

namespace zephron {

TInstanceClaim ClaimInstanceMutex(const std::string& name) {
  TInstanceClaim claim;
  platform::NamedMutex global("Global\\" + name);
  // A creation that fails for any other reason counts as "did not exist".
  if (!global.alreadyExisted()) claim.bits |= 1;
  claim.handles.push_back(std::move(global));
  platform::NamedMutex session(name);
  if (!session.alreadyExisted()) claim.bits |= 2;
  claim.handles.push_back(std::move(session));
  return claim;
}

}  // namespace zephron
