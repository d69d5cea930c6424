#include "bugreport/report_store.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "bugreport/host_facts.h"
#include "platform/special_folders.h"
#include "platform/system_info.h"
#include "platform/utf8_path.h"

namespace zephron::bugreport {
namespace {

namespace fs = std::filesystem;

bool IsSavedReport(const fs::path& file) {
  const std::string name = file.filename().string();
  return name.starts_with("bugreport-") && name.ends_with(".txt");
}

void RemoveOldest(const fs::path& folder) {
  std::error_code error;
  std::vector<std::pair<fs::file_time_type, fs::path>> reports;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (!entry.is_regular_file(error) || !IsSavedReport(entry.path())) continue;
    reports.emplace_back(entry.last_write_time(error), entry.path());
  }
  if (reports.size() <= kMaxSavedReports) return;
  std::sort(reports.begin(), reports.end());
  for (std::size_t i = 0; i + kMaxSavedReports < reports.size(); ++i) fs::remove(reports[i].second, error);
}

}  // namespace

std::string BugReportFolder() {
  const std::string appData = platform::AppDataFolder();
  if (appData.empty()) return {};
  return platform::Utf8String(platform::Utf8Path(appData) / "Corvexis" / "bugreports");
}

std::string SaveBugReport(const std::string& text) {
  static std::atomic<int> saved{0};
  const std::string folder = BugReportFolder();
  if (folder.empty()) return {};
  std::error_code error;
  fs::create_directories(platform::Utf8Path(folder), error);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[32] = "00000000-000000";
  if (LocalTime(now, local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string name = "bugreport-" + std::string(stamp) + "-" + std::to_string(platform::CurrentProcessId()) +
                           "-" + std::to_string(++saved) + ".txt";
  const fs::path file = platform::Utf8Path(folder) / name;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      fs::remove(file, error);
      return {};
    }
  }
  RemoveOldest(platform::Utf8Path(folder));
  return platform::Utf8String(file);
}

}  // namespace zephron::bugreport
