// Where each product's updates are published: the values "UpdateURL",
// "UpdateUser" and "UpdatePassword" under HKLM\Software\Corvexis\<product>
// (both registry views, as for "InstallPath"), else the maker's built-in
// default location; and "UpdatePublicKey", the maker's signing key for the
// product (empty: its updates are not signed).
#pragma once

#include <string>

namespace zephron {

struct TUpdateLocation {
  std::string baseURL;
  std::string userID;
  std::string password;
  std::string publicKey = {};  // Base64 Ed25519 public key
};

// The maker's published redirector; every product's folder lies below it.
inline constexpr const char* kDefaultUpdateURL = "http://updates.corvexis.com/zephron/";

TUpdateLocation GetUpdateLocation(const std::string& productName);

}  // namespace zephron
