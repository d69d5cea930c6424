#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace zephron::platform {

bool IsPrivateFolder(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::string MakePrivateFolder(const std::string& parent, const std::string& name) {
  const std::string base = IncludeTrailingPathDelimiter(parent) + name + "-" + std::to_string(::geteuid());
  ::mkdir(base.c_str(), 0700);
  if (IsPrivateFolder(base)) return base;
  // Someone else made the name first (or opened it up): a fresh folder of
  // our own instead.
  std::string pattern = base + "-XXXXXX";
  return ::mkdtemp(pattern.data()) ? pattern : base;
}

}  // namespace zephron::platform
