#include "app/updater_log.h"

#include <cstring>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/special_folders.h"

namespace zephron {

std::string GetAppDataFolder() {
  const auto key = platform::RegistryKey::Open(platform::Hive::CurrentUser, platform::kShellFoldersKey);
  if (!key) return {};
  return key->ReadString("AppData").value_or(std::string());
}

std::string UpdaterLogFolderFor(const std::string& appData) {
  // An empty folder gives "/Corvexis/Corvexis Zephron", the root's Corvexis
  // folder, as the separator routine of the original gives "\" for "".
  const std::string base = appData.empty() ? std::string("/") : platform::IncludeTrailingPathDelimiter(appData);
  return base + "Corvexis" + "\\Corvexis Zephron";
}

bool IsDebugCommandLine(int argc, const char* const* argv) {
  return argc == 2 && std::strcmp(argv[1], kDebugAccessCode) == 0;
}

std::string TUpdaterLog::FileName() const { return platform::ToSlashes(folder_ + "zephron.log"); }

void TUpdaterLog::LogLine(const std::string& text) const {
  const std::string file = FileName();
  if (!platform::AppendToFile(file, text + "\r\n\r\n")) throw TUpdaterError("I/O error: cannot write " + file);
}

}  // namespace zephron
