// Shared pieces of the version-check tests: control-file text, executables
// with a version resource, the registry place of the stored release date,
// and an engine that records its status reports.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/zephron.h"
#include "platform/registry.h"
#include "platform/version_info_writer.h"
#include "tests/engine_transfer/transfer_fixture.h"
#include "tests/version/pe_writer.h"
#include "transfer/messages.h"

namespace zephron::test {

// An engine with the state the version check leaves behind made visible.
class CheckEngine : public RecordingEngine {
 public:
  bool SaveUpdate() const { return FSaveUpdate; }
  const std::string& LocalFileDateCheck() const { return FLocalFileDateCheck; }
  const std::string& AppName() const { return FAppName; }
  const std::string& AppParam() const { return FAppParam; }
  const std::string& AppComps() const { return FAppComps; }
  bool AppClose() const { return FAppClose; }

  // The reports of the version check itself (925 to 944), without the
  // connection's, which differ from one kind of location to the other.
  std::vector<int> CheckIdents() const {
    std::vector<int> idents;
    for (const auto& r : reports) {
      if (r.ident >= 925 && r.ident <= 944 && r.ident != 937 && r.ident != 939) idents.push_back(r.ident);
    }
    return idents;
  }
};

// Control-file text from sections of key=value lines, with CR LF line ends.
using Section = std::pair<std::string, std::vector<std::string>>;
inline std::string ControlFile(const std::vector<Section>& sections) {
  std::string text;
  for (const auto& [name, lines] : sections) {
    text += "[" + name + "]\r\n";
    for (const auto& line : lines) text += line + "\r\n";
  }
  return text;
}

// An executable whose version resource holds file version ms.ls.
inline void WriteVersionedFile(const std::filesystem::path& path, std::uint32_t ms, std::uint32_t ls) {
  platform::VersionInfoContent content;
  content.fixed->dwFileVersionMS = ms;
  content.fixed->dwFileVersionLS = ls;
  content.fixed->dwProductVersionMS = 0x00630063;  // never the file version
  WriteFile(path, MakePe(TypicalPe(*platform::BuildVersionInfo(content), false)));
}

inline constexpr const char* kKey = "Software\\Corvexis";
inline constexpr const char* kSection = "Tendwell";

inline void UseRegistryPlace(TZephron& engine, bool save = true) {
  engine.LastURLEntry.Save = save;
  engine.LastURLEntry.Key = kKey;
  engine.LastURLEntry.Section = kSection;
}

inline void StoreValue(const std::string& name, const std::string& value) {
  auto key = platform::RegistryKey::Create(platform::Hive::CurrentUser, std::string(kKey) + "\\" + kSection);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString(name, value));
}

inline std::optional<std::string> StoredValue(const std::string& name) {
  auto key = platform::RegistryKey::Open(platform::Hive::CurrentUser, std::string(kKey) + "\\" + kSection);
  if (!key) return std::nullopt;
  return key->ReadString(name);
}

inline platform::TDateTime Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return *platform::EncodeDate(y, m, d) + *platform::EncodeTime(h, n, s, 0);
}

}  // namespace zephron::test
