// Where each product's updates are published: the values "UpdateURL",
// "UpdateUser" and "UpdatePassword" under HKLM\Software\Corvexis\<product>
// (both registry views, as for "InstallPath"), else the maker's built-in
// default location.
#pragma once

#include <string>

namespace zephron {

struct TUpdateLocation {
  std::string baseURL;
  std::string userID;
  std::string password;
};

// The maker's published redirector; every product's folder lies below it.
inline constexpr const char* kDefaultUpdateURL = "http://updates.corvexis.com/zephron/";

TUpdateLocation GetUpdateLocation(const std::string& productName);

}  // namespace zephron
