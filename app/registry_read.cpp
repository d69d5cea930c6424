#include "app/registry_read.h"

#include <atomic>

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
// The kept answer: kUnasked until the first question. One atomic word, so a
// read on one thread never races with InitSystem64Bit on another.
constexpr int kUnasked = -1;
std::atomic<int> gSystem64{kUnasked};
}  // namespace

void InitSystem64Bit() { gSystem64.store(platform::Is64BitSystem() ? 1 : 0); }

bool IsSystem64Bit() {
  int answer = gSystem64.load();
  if (answer == kUnasked) {
    // Two first readers may both ask; the first answer stored is kept.
    const int asked = platform::Is64BitSystem() ? 1 : 0;
    answer = gSystem64.compare_exchange_strong(answer, asked) ? asked : answer;
  }
  return answer == 1;
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
