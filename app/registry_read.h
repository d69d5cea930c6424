// The updater's registry reads: a string value read in the program's default
// view with a fall-back to the 64-bit view, and the installation folder of a
// product. Every failure gives an empty text.
#pragma once

#include <string>

#include "platform/registry.h"

namespace zephron {

enum class TRegistryReadMode { DefaultView, View64, BothViews };

// Whether the 64-bit view exists (IsWow64Process in the original): asked
// once, at program start or at the first read, and kept. InitSystem64Bit asks
// again (program start; tests that switch the answer).
void InitSystem64Bit();
bool IsSystem64Bit();

std::string ReadRegistryString(platform::Hive root, const std::string& key, const std::string& value,
                               TRegistryReadMode mode);

// HKLM "Software\Corvexis\<name>", value "InstallPath", both views; empty means "not installed".
std::string GetInstallPath(const std::string& productName);

}  // namespace zephron
