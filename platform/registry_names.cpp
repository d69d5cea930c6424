#include "platform/registry_names.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/reg_file.h"

namespace zephron::platform {

using regfile::Entry;
using regfile::EqualNoCase;

namespace {

// -1 none, 0 false, 1 true.
std::atomic<int> gIs64BitOverride{-1};

}  // namespace

namespace registry_names {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find('\\', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) parts.emplace_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

std::string JoinPath(const std::vector<std::string>& parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  return out;
}

namespace {

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const auto b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

}  // namespace

ValueInfo DescribeValue(const Entry& entry) {
  ValueInfo info{entry.name, "REG_SZ", {}};
  if (entry.kind == Entry::Kind::String) {
    info.display = entry.data;
    return info;
  }
  auto typed = regfile::DecodeTypedData(entry.data);
  if (!typed) {
    info.type = "REG_UNKNOWN";
    info.display = entry.data;
    return info;
  }
  const auto& bytes = typed->bytes;
  const auto number = [&](std::size_t size) {
    unsigned long long value = 0;
    for (std::size_t i = 0; i < size && i < bytes.size(); ++i) value |= static_cast<unsigned long long>(bytes[i]) << (8 * i);
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", value);
    return std::string(text);
  };
  switch (typed->type) {
    case 1:
    case 2:
      info.type = typed->type == 1 ? "REG_SZ" : "REG_EXPAND_SZ";
      info.display = regfile::Utf16LeToUtf8(bytes, true);
      break;
    case 7: {
      info.type = "REG_MULTI_SZ";
      std::string all = regfile::Utf16LeToUtf8(bytes, false);
      while (!all.empty() && all.back() == '\0') all.pop_back();
      for (const char c : all) info.display += c == '\0' ? std::string("\\0") : std::string(1, c);
      break;
    }
    case 4:
      info.type = "REG_DWORD";
      info.display = number(4);
      break;
    case 11:
      info.type = "REG_QWORD";
      info.display = number(8);
      break;
    default: {
      static constexpr const char* kNames[] = {"REG_NONE",
                                               "REG_SZ",
                                               "REG_EXPAND_SZ",
                                               "REG_BINARY",
                                               "REG_DWORD",
                                               "REG_DWORD_BIG_ENDIAN",
                                               "REG_LINK",
                                               "REG_MULTI_SZ",
                                               "REG_RESOURCE_LIST",
                                               "REG_FULL_RESOURCE_DESCRIPTOR",
                                               "REG_RESOURCE_REQUIREMENTS_LIST"};
      info.type = typed->type < std::size(kNames) ? kNames[typed->type] : "REG_UNKNOWN";
      info.display = HexText(bytes);
    }
  }
  return info;
}

std::optional<Hive> RootHive(std::string_view root) {
  if (EqualNoCase(root, "HKEY_LOCAL_MACHINE") || EqualNoCase(root, "HKLM")) return Hive::LocalMachine;
  if (EqualNoCase(root, "HKEY_CURRENT_USER") || EqualNoCase(root, "HKCU")) return Hive::CurrentUser;
  return std::nullopt;
}

}  // namespace registry_names

using namespace registry_names;

std::string_view HiveName(Hive hive) {
  return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::optional<KeyName> ParseKeyName(std::string_view text) {
  const std::size_t slash = text.find('\\');
  const auto hive = RootHive(text.substr(0, slash));
  if (!hive) return std::nullopt;
  const auto parts = SplitPath(slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1));
  return KeyName{*hive, JoinPath(parts, parts.size())};
}

bool Is64BitSystem() {
  if (const int value = gIs64BitOverride.load(); value >= 0) return value == 1;
  const std::string bits = Env("ZEPHRON_SYSTEM_BITS");
  if (bits == "64") return true;
  if (bits == "32") return false;
  return MachineIs64Bit();
}

void SetIs64BitSystemOverride(std::optional<bool> value) { gIs64BitOverride = value ? (*value ? 1 : 0) : -1; }

std::string RedirectedKeyPath(Hive hive, std::string_view path, RegView view) {
  auto parts = SplitPath(path);
  if (hive == Hive::LocalMachine && view != RegView::Bits64 && Is64BitSystem() && !parts.empty() &&
      EqualNoCase(parts[0], "Software") && !(parts.size() > 1 && EqualNoCase(parts[1], "WOW6432Node"))) {
    parts.insert(parts.begin() + 1, "WOW6432Node");
  }
  return JoinPath(parts, parts.size());
}

}  // namespace zephron::platform
