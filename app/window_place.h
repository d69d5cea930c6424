// Where the updater window opens: its position kept in
// <application data>/Corvexis/zephron_window.xml, stored when the window
// closes and restored before it shows. A file that is missing, damaged or
// cannot be written never keeps the updater from running: the window then
// opens where it would without it.
#pragma once

#include <string>

#include "ui/placement.h"

namespace zephron {

// The file for the given application-data folder.
std::string WindowPlaceFileFor(const std::string& appData);

// False when the file gave no position (missing, damaged, no element).
bool RestoreWindowPlace(ui::PlacedWindow& window, const std::string& file);
// False when the file could not be written; other windows kept in it stay.
bool StoreWindowPlace(const ui::PlacedWindow& window, const std::string& file);

}  // namespace zephron
