// The naming rules both registry implementations share: key paths split at
// and joined with "\", the root names, and whether the system counts as
// 64-bit, and how a value is shown (registry.h has the public ones).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry.h"

namespace zephron::platform::registry_names {

std::string Env(const char* name);
// The non-empty parts of a path, split at "\".
std::vector<std::string> SplitPath(std::string_view path);
// The first count parts joined with "\".
std::string JoinPath(const std::vector<std::string>& parts, std::size_t count);
// HKEY_LOCAL_MACHINE / HKLM and HKEY_CURRENT_USER / HKCU, without regard to case.
std::optional<Hive> RootHive(std::string_view root);
// A stored value as reg.exe's query shows it.
ValueInfo DescribeValue(const regfile::Entry& entry);
// The machine's own word size; each system's registry unit defines it.
bool MachineIs64Bit();

}  // namespace zephron::platform::registry_names
