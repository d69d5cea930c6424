#include "app/product_display.h"

#include <algorithm>

#include "app/registry_read.h"
#include "app/version_string.h"
#include "platform/ascii_case.h"
#include "platform/paths.h"

namespace zephron {

using platform::SameTextAscii;

std::optional<std::string> TNameValueList::Value(const std::string& name) const {
  for (const auto& [entryName, value] : entries_) {
    if (SameTextAscii(entryName, name)) return value;
  }
  return std::nullopt;
}

void TNameValueList::Remove(const std::string& name) {
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return SameTextAscii(e.first, name); });
  if (it != entries_.end()) entries_.erase(it);
}

TProductDisplay DescribeProduct(const TProduct& product, bool checked, const TNameValueList& newVersions,
                                const std::string& updatingKey) {
  TProductDisplay display;
  display.label = std::string(product.displayName);
  const std::string path = GetInstallPath(std::string(product.name));
  if (path.empty()) {
    display.firstColor = clSilver;
    display.secondColor = clGray;
    display.label += ": not installed";
    return display;
  }
  const std::string version =
      GetFileVersionString(platform::IncludeTrailingPathDelimiter(platform::ToSlashes(path)) + std::string(product.executable), 4);
  display.label += ": installed (" + version + ")";
  display.firstColor = clWhite;
  const auto newVersion = newVersions.Value(std::string(product.name));
  if (!checked) {
    display.secondColor = clAqua;
  } else if (!newVersion) {
    display.secondColor = clLime;
    display.label += ", no new version available";
  } else if (product.name == updatingKey) {
    display.secondColor = clOrange;
    display.label += " updating to " + *newVersion;
  } else {
    display.secondColor = clYellow;
    display.label += ", version " + *newVersion + " available";
  }
  return display;
}

}  // namespace zephron
