// Connectivity on Windows: the system's dial-up calls and connected state;
// the environment variable ZEPHRON_OFFLINE=1 still makes the machine count as offline.
#include "transfer/internet_internal_win.h"

namespace zephron::transfer {

namespace {

bool OfflineByEnvironment() {
  wchar_t value[4] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"ZEPHRON_OFFLINE", value, 4);
  return length == 1 && value[0] == L'1';
}

}  // namespace

int InternetAutodial(std::uint32_t flags, std::uintptr_t parentWindow) {
  return ::InternetAutodial(flags, reinterpret_cast<HWND>(parentWindow)) ? 1 : 0;
}

int InternetAutodialHangup(std::uint32_t reserved) { return ::InternetAutodialHangup(reserved) ? 1 : 0; }

int InternetGetConnectedState(std::uint32_t& flags, std::uint32_t reserved) {
  flags = 0;
  if (OfflineByEnvironment()) {
    flags = INTERNET_CONNECTION_OFFLINE;
    return 0;
  }
  DWORD state = 0;
  const BOOL online = ::InternetGetConnectedState(&state, reserved);
  flags = state;
  return online ? 1 : 0;
}

}  // namespace zephron::transfer
