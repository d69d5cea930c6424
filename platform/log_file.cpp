#include "platform/log_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "platform/file_io.h"
#include "platform/utf8_path.h"

namespace zephron::platform {
namespace {

std::mutex gReportedMutex;
std::set<std::string> gReported;

void ReportLoss(const std::string& path, std::string_view what, int error) {
  std::lock_guard lock(gReportedMutex);
  if (!gReported.insert(path).second) return;
  std::fprintf(stderr, "zephron: cannot write the %.*s %s: %s; its entries are lost\n", static_cast<int>(what.size()),
               what.data(), path.c_str(), std::strerror(error));
}

}  // namespace

bool AppendLogEntry(const std::string& path, std::string_view bytes, std::string_view what) {
  if (AppendToFile(path, bytes)) return true;
  int error = errno;
  const std::filesystem::path folder = Utf8Path(path).parent_path();
  std::error_code ec;
  // A folder directly under the root is never made: an empty home gives
  // such paths, and they are no place for one user's log.
  const bool creatable = !folder.empty() && folder.has_relative_path() && folder.parent_path() != folder.root_path();
  if (creatable && !std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (!ec && AppendToFile(path, bytes)) return true;
    if (ec) error = ec.value();
  }
  ReportLoss(path, what, error == 0 ? EIO : error);
  return false;
}

}  // namespace zephron::platform
