#include "app/updater_log.h"

#include <cstring>

#include "platform/log_file.h"
#include "platform/paths.h"
#include "platform/special_folders.h"

namespace zephron {

std::string GetAppDataFolder() { return platform::AppDataFolder(); }

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

bool TUpdaterLog::LogLine(const std::string& text) const {
  if (platform::AppendLogEntry(FileName(), text + "\r\n\r\n", "updater log")) return true;
  *failed_ = true;
  return false;
}

}  // namespace zephron
