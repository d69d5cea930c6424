// The registry of Windows itself. A key object keeps its path as the views
// redirect it ("Software\WOW6432Node\..." for the updater's own view on a
// 64-bit system) and reaches it through the 64-bit view, where that path is
// the key the 32-bit view shows; so every call names the same key whichever
// view it came from. Like the file-based registry, a key is opened afresh for
// every call.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <utility>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "platform/registry_names.h"
#include "platform/win32_text.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using regfile::Document;
using regfile::Entry;
using registry_names::JoinPath;
using registry_names::SplitPath;
using win32::Narrow;
using win32::Wide;

HKEY Root(Hive hive) { return hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// An open HKEY, closed with the object.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HKEY key) : key_(key) {}
  ~Handle() {
    if (key_) ::RegCloseKey(key_);
  }
  Handle(Handle&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  Handle& operator=(Handle&&) = delete;
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

Handle OpenKey(Hive hive, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(Root(hive), Wide(path).c_str(), 0, access | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return {};
  return Handle(key);
}

Handle CreateKey(Hive hive, const std::string& path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(Root(hive), Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return {};
  }
  return Handle(key);
}

struct RawValue {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
};

// Every value of the key in stored order.
std::vector<RawValue> EnumValues(HKEY key) {
  std::vector<RawValue> values;
  DWORD maxName = 0, maxData = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  std::wstring name(maxName + 1, L'\0');
  std::vector<std::uint8_t> data(maxData + 2);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG result = ::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
    if (result != ERROR_SUCCESS) break;
    values.push_back({Narrow(std::wstring_view(name.data(), nameLength)), type,
                      std::vector<std::uint8_t>(data.begin(), data.begin() + dataLength)});
  }
  return values;
}

std::vector<std::string> EnumKeys(HKEY key) {
  std::vector<std::string> names;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(Narrow(std::wstring_view(name, length)));
  }
  return names;
}

// A value as a line of the export format: strings as "name"="data", every
// other type as hex(N) data (dword: for REG_DWORD), as regedit writes them.
Entry EntryOf(const RawValue& value) {
  Entry entry;
  entry.name = value.name;
  if (value.type == REG_SZ) {
    entry.kind = Entry::Kind::String;
    entry.data = regfile::Utf16LeToUtf8(value.bytes, true);
    return entry;
  }
  entry.kind = Entry::Kind::Typed;
  char text[16];
  if (value.type == REG_DWORD && value.bytes.size() == 4) {
    const std::uint32_t number = value.bytes[0] | value.bytes[1] << 8 | value.bytes[2] << 16 |
                                 static_cast<std::uint32_t>(value.bytes[3]) << 24;
    std::snprintf(text, sizeof text, "dword:%08x", number);
    entry.data = text;
    return entry;
  }
  if (value.type == REG_BINARY) {
    entry.data = "hex:";
  } else {
    std::snprintf(text, sizeof text, "hex(%lx):", static_cast<unsigned long>(value.type));
    entry.data = text;
  }
  for (std::size_t i = 0; i < value.bytes.size(); ++i) {
    std::snprintf(text, sizeof text, i ? ",%02x" : "%02x", value.bytes[i]);
    entry.data += text;
  }
  return entry;
}

bool SetValue(HKEY key, std::string_view name, DWORD type, const void* bytes, std::size_t size) {
  return ::RegSetValueExW(key, Wide(name).c_str(), 0, type, static_cast<const BYTE*>(bytes),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool SetString(HKEY key, std::string_view name, std::string_view data) {
  const std::wstring wide = Wide(data);
  return SetValue(key, name, REG_SZ, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
}

bool DeleteTree(Hive hive, const std::string& path) {
  {
    Handle key = OpenKey(hive, path, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key || ::RegDeleteTreeW(key.get(), nullptr) != ERROR_SUCCESS) return false;
  }
  return ::RegDeleteKeyExW(Root(hive), Wide(path).c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

}  // namespace

bool registry_names::MachineIs64Bit() {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

// Windows keeps its hives itself; there is no file of ours to name.
fs::path HiveFile(Hive) { return {}; }
bool IsHiveFile(const fs::path&) { return false; }

std::optional<RegistryKey> RegistryKey::Open(Hive hive, std::string_view path, RegView view) {
  std::string redirected = RedirectedKeyPath(hive, path, view);
  if (!OpenKey(hive, redirected, KEY_READ)) return std::nullopt;
  return RegistryKey(hive, std::move(redirected), false);
}

std::optional<RegistryKey> RegistryKey::Create(Hive hive, std::string_view path, RegView view) {
  std::string redirected = RedirectedKeyPath(hive, path, view);
  if (!CreateKey(hive, redirected)) return std::nullopt;
  return RegistryKey(hive, std::move(redirected), true);
}

bool RegistryKey::ValueExists(std::string_view name) const {
  Handle key = OpenKey(hive_, path_, KEY_QUERY_VALUE);
  return key && ::RegQueryValueExW(key.get(), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  Handle key = OpenKey(hive_, path_, KEY_QUERY_VALUE);
  if (!key) return std::nullopt;
  const std::wstring wide = Wide(name);
  for (;;) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    const LONG result = ::RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, bytes.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // it grew meanwhile
    if (result != ERROR_SUCCESS) return std::nullopt;
    bytes.resize(size);
    return regfile::Utf16LeToUtf8(bytes, true);
  }
}

bool RegistryKey::WriteString(std::string_view name, std::string_view data) {
  if (!writable_) return false;
  Handle key = CreateKey(hive_, path_);  // re-created if another process deleted it
  return key && SetString(key.get(), name, data);
}

bool RegistryKey::DeleteValue(std::string_view name) {
  if (!writable_) return false;
  Handle key = OpenKey(hive_, path_, KEY_SET_VALUE);
  return key && ::RegDeleteValueW(key.get(), Wide(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> RegistryKey::ValueNames() const {
  std::vector<std::string> names;
  if (Handle key = OpenKey(hive_, path_, KEY_QUERY_VALUE)) {
    for (auto& value : EnumValues(key.get())) names.push_back(std::move(value.name));
  }
  return names;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  Handle key = OpenKey(hive_, path_, KEY_ENUMERATE_SUB_KEYS);
  return key ? EnumKeys(key.get()) : std::vector<std::string>{};
}

std::vector<ValueInfo> RegistryKey::Values() const {
  std::vector<ValueInfo> values;
  if (Handle key = OpenKey(hive_, path_, KEY_QUERY_VALUE)) {
    for (const auto& value : EnumValues(key.get())) values.push_back(registry_names::DescribeValue(EntryOf(value)));
  }
  return values;
}

bool KeyExists(Hive hive, std::string_view path, RegView view) {
  return static_cast<bool>(OpenKey(hive, RedirectedKeyPath(hive, path, view), KEY_READ));
}

bool DeleteKey(Hive hive, std::string_view path, RegView view) {
  const std::string redirected = RedirectedKeyPath(hive, path, view);
  return !redirected.empty() && DeleteTree(hive, redirected);
}

std::optional<std::string> ExportKeyText(Hive hive, std::string_view path, RegView view) {
  const std::string start = RedirectedKeyPath(hive, path, view);
  if (!OpenKey(hive, start, KEY_READ)) return std::nullopt;
  Document out;
  // Depth-first, every key listed, as regedit exports a branch.
  std::function<void(const std::string&)> add = [&](const std::string& keyPath) {
    Handle key = OpenKey(hive, keyPath, KEY_READ);
    if (!key) return;
    regfile::Key block;
    block.path = std::string(HiveName(hive)) + (keyPath.empty() ? "" : "\\") + keyPath;
    for (const auto& value : EnumValues(key.get())) block.entries.push_back(EntryOf(value));
    out.keys.push_back(std::move(block));
    for (const auto& child : EnumKeys(key.get())) add(keyPath.empty() ? child : keyPath + "\\" + child);
  };
  add(start);
  return regfile::Serialize(out);
}

bool ExportKey(Hive hive, std::string_view path, RegView view, const fs::path& file) {
  auto text = ExportKeyText(hive, path, view);
  if (!text) return false;
  const std::string bytes = regfile::EncodeUtf16Le(*text);
  const fs::path temporary = fs::path(file).concat(".tmp");
  {
    FILE* out = ::_wfopen(temporary.wstring().c_str(), L"wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
      ::DeleteFileW(temporary.wstring().c_str());
      return false;
    }
  }
  if (!::MoveFileExW(temporary.wstring().c_str(), file.wstring().c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(temporary.wstring().c_str());
    return false;
  }
  return true;
}

ImportResult ImportRegFile(const fs::path& file, RegView view) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return {ImportResult::Code::CannotOpen, file.string()};
  std::string bytes;
  {
    FILE* in = ::_wfopen(file.wstring().c_str(), L"rb");
    if (!in) return {ImportResult::Code::CannotOpen, file.string()};
    char block[65536];
    while (const std::size_t got = std::fread(block, 1, sizeof block, in)) bytes.append(block, got);
    std::fclose(in);
  }
  Document doc = regfile::Parse(regfile::DecodeFileBytes(bytes));
  if (doc.malformedLine) {
    return {ImportResult::Code::Malformed, "line " + std::to_string(doc.malformedLine) + ": " + doc.problem};
  }
  if (doc.strayValueLine) {
    return {ImportResult::Code::Malformed, "line " + std::to_string(doc.strayValueLine) + ": a value before the first key"};
  }
  // Every key is checked before anything changes.
  std::vector<KeyName> targets;
  for (const auto& key : doc.keys) {
    auto name = ParseKeyName(key.path);
    if (!name) return {ImportResult::Code::InvalidKey, key.path};
    name->path = RedirectedKeyPath(name->hive, name->path, view);
    if (name->path.empty() && key.remove) return {ImportResult::Code::InvalidKey, key.path};
    for (const auto& entry : key.entries) {
      if (entry.kind == Entry::Kind::Typed && !regfile::DecodeTypedData(entry.data)) {
        return {ImportResult::Code::Malformed, key.path + ": " + entry.name};
      }
    }
    targets.push_back(std::move(*name));
  }
  for (std::size_t k = 0; k < doc.keys.size(); ++k) {
    const auto& target = targets[k];
    if (doc.keys[k].remove) {
      DeleteTree(target.hive, target.path);
      continue;
    }
    Handle key = CreateKey(target.hive, target.path);
    if (!key) return {ImportResult::Code::WriteFailed, doc.keys[k].path};
    for (const auto& entry : doc.keys[k].entries) {
      bool ok = true;
      switch (entry.kind) {
        case Entry::Kind::String:
          ok = SetString(key.get(), entry.name, entry.data);
          break;
        case Entry::Kind::Typed: {
          const auto typed = regfile::DecodeTypedData(entry.data);
          ok = SetValue(key.get(), entry.name, typed->type, typed->bytes.data(), typed->bytes.size());
          break;
        }
        case Entry::Kind::DeleteValue:
          ::RegDeleteValueW(key.get(), Wide(entry.name).c_str());
          break;
        case Entry::Kind::Verbatim:
          break;
      }
      if (!ok) return {ImportResult::Code::WriteFailed, doc.keys[k].path};
    }
  }
  return {};
}

}  // namespace zephron::platform
