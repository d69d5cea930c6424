#include "app/window_place.h"

#include <exception>
#include <filesystem>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/utf8_path.h"
#include "ui/placement_store.h"
#include "xml/xml.h"

namespace zephron {

namespace {
constexpr const char* kRootName = "Zephron";
}

std::string WindowPlaceFileFor(const std::string& appData) {
  const std::string base = appData.empty() ? std::string("/") : platform::IncludeTrailingPathDelimiter(appData);
  return platform::ToSlashes(base + "Corvexis/zephron_window.xml");
}

bool RestoreWindowPlace(ui::PlacedWindow& window, const std::string& file) {
  try {
    if (!platform::FileExists(file)) return false;
    TxmlDocument doc;
    doc.LoadAuto(file);
    TxmlNode* element = doc.Root()->NodeByName(window.Name(), false);
    if (element == nullptr) return false;
    ui::RestoreWindowPos(*doc.Root(), &window, false);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool StoreWindowPlace(const ui::PlacedWindow& window, const std::string& file) {
  try {
    TxmlDocument doc;
    // What else the file keeps stays; a damaged one is replaced.
    try {
      if (platform::FileExists(file)) doc.LoadAuto(file);
    } catch (const std::exception&) {
      doc.Clear();
    }
    doc.Root()->SetName(kRootName);
    ui::StoreWindowPos(*doc.Root(), &window);
    std::error_code ignored;
    std::filesystem::create_directories(platform::Utf8Path(file).parent_path(), ignored);
    // Written beside it and moved over it, so a crash while writing leaves the old file.
    const std::string temporary = file + ".tmp";
    doc.Save(temporary);
    if (platform::MoveFileReplacing(temporary, file)) return true;
    platform::DeleteFile(temporary);
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace zephron
