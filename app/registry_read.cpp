#include "app/registry_read.h"

#include <mutex>

namespace zephron {
namespace {

std::string ReadOnce(platform::Hive root, const std::string& key, const std::string& value, platform::RegView view) {
  // Key paths may carry leading or doubled separators ("\SOFTWARE\..."):
  // empty parts are skipped, as opening part by part would.
  std::string path;
  std::size_t start = 0;
  while (start <= key.size()) {
    const auto end = key.find('\\', start);
    const auto part = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!part.empty()) path += (path.empty() ? "" : "\\") + part;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const auto opened = platform::RegistryKey::Open(root, path, view);
  if (!opened) return {};
  return opened->ReadString(value).value_or(std::string());
}

}  // namespace

namespace {
std::once_flag gAsked;
bool gSystem64 = false;
}  // namespace

void InitSystem64Bit() {
  std::call_once(gAsked, [] {});
  gSystem64 = platform::Is64BitSystem();
}

bool IsSystem64Bit() {
  std::call_once(gAsked, [] { gSystem64 = platform::Is64BitSystem(); });
  return gSystem64;
}

std::string ReadRegistryString(platform::Hive root, const std::string& key, const std::string& value,
                               TRegistryReadMode mode) {
  std::string result;
  if (mode != TRegistryReadMode::View64) result = ReadOnce(root, key, value, platform::RegView::Default);
  if (result.empty() && mode != TRegistryReadMode::DefaultView && IsSystem64Bit()) {
    result = ReadOnce(root, key, value, platform::RegView::Bits64);
  }
  return result;
}

std::string GetInstallPath(const std::string& productName) {
  return ReadRegistryString(platform::Hive::LocalMachine, "Software\\Corvexis\\" + productName, "InstallPath",
                            TRegistryReadMode::BothViews);
}

}  // namespace zephron
