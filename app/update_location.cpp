#include "app/update_location.h"

#include "app/registry_read.h"

namespace zephron {

TUpdateLocation GetUpdateLocation(const std::string& productName) {
  const std::string key = "Software\\Corvexis\\" + productName;
  auto read = [&](const char* value) {
    return ReadRegistryString(platform::Hive::LocalMachine, key, value, TRegistryReadMode::BothViews);
  };
  TUpdateLocation location{read("UpdateURL"), read("UpdateUser"), read("UpdatePassword"), read("UpdatePublicKey")};
  if (location.baseURL.empty()) location.baseURL = kDefaultUpdateURL;
  return location;
}

}  // namespace zephron
