// Connectivity: no dial-up on this platform, and the connected state from the
// network interfaces. This unit is the platform's Internet library itself, so
// it reads the interfaces with the system's calls.
#include <ifaddrs.h>
#include <net/if.h>

#include <cstdlib>
#include <string_view>

#include "transfer/internet.h"

namespace zephron::transfer {

int InternetAutodial(std::uint32_t, std::uintptr_t) { return -1; }

int InternetAutodialHangup(std::uint32_t) { return -1; }

int InternetGetConnectedState(std::uint32_t& flags, std::uint32_t) {
  flags = 0;
  if (const char* offline = std::getenv("ZEPHRON_OFFLINE"); offline && std::string_view(offline) == "1") {
    flags = INTERNET_CONNECTION_OFFLINE;
    return 0;
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  bool online = false;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr) continue;
    if ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING) && !(entry->ifa_flags & IFF_LOOPBACK)) {
      online = true;
      break;
    }
  }
  ::freeifaddrs(list);
  if (!online) return 0;
  flags = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_CONFIGURED;
  const char* proxy = std::getenv("http_proxy");
  if (!proxy) proxy = std::getenv("HTTP_PROXY");
  if (proxy && *proxy) flags |= INTERNET_CONNECTION_PROXY;
  return 1;
}

}  // namespace zephron::transfer
