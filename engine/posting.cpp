// The post-update request (form data posted to port 80 of a fixed server,
// the answer kept for the host) and the persisted control-file location
// ("LastURL" in the registry place of LastURLEntry).
#include <array>
#include <cstddef>

#include "engine/zephron.h"
#include "platform/registry.h"
#include "transfer/messages.h"

namespace zephron {

using namespace transfer;

void TZephron::DoPostUpdateInfo() {
  TPostUpdateInfo& info = PostUpdateInfo;
  if (info.Server.empty() || info.Action.empty()) return;

  // Its own session: the engine's proxy and time-outs are not for this request.
  HInternet session = InternetOpenW(Agent, INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
  HInternet connection = InternetConnectW(session, info.Server, INTERNET_DEFAULT_HTTP_PORT, "", "",
                                          INTERNET_SERVICE_HTTP, 0, 1);
  if (!connection) {
    DoStatus(msgCannotConnectPost, "", 16, 5);
    if (session) InternetCloseHandle(session);
    return;
  }
  HInternet request = HttpOpenRequestW(connection, "POST", info.Action, "", "",
                                       INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                           INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
                                       1);
  if (!request) {
    DoStatus(msgCannotAccessPost, "", 17, 5);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    return;
  }
  info.PostResult.clear();
  if (HttpSendRequestA(request, "Content-Type: application/x-www-form-urlencoded", info.Data)) {
    std::array<std::byte, 4096> block;
    for (;;) {
      Dialogs().ProcessMessages();
      std::uint32_t read = 0;
      if (!InternetReadFile(request, block, read) || read == 0) break;
      info.PostResult.append(reinterpret_cast<const char*>(block.data()), read);
    }
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(session);
}

namespace {

platform::Hive HiveOf(const TLastURLEntry& entry) {
  return entry.RegRoot == lurLOCALMACHINE ? platform::Hive::LocalMachine : platform::Hive::CurrentUser;
}

bool Usable(const TLastURLEntry& entry) { return entry.Save && !entry.Key.empty() && !entry.Section.empty(); }

}  // namespace

std::string TZephron::URLGet() {
  const TLastURLEntry& entry = LastURLEntry;
  if (!Usable(entry)) return {};
  const platform::Hive hive = HiveOf(entry);
  // The key is created as on a writable hive; a hive this user may not
  // write (the machine's, as a plain user) is still read.
  platform::RegistryKey::Create(hive, entry.Key);
  const auto section = platform::RegistryKey::Open(hive, entry.Key + "\\" + entry.Section);
  if (!section) return {};
  return section->ReadString("LastURL").value_or("");
}

void TZephron::URLPut(const std::string& url) {
  const TLastURLEntry& entry = LastURLEntry;
  if (!Usable(entry)) return;
  const platform::Hive hive = HiveOf(entry);
  if (!platform::RegistryKey::Create(hive, entry.Key)) return;
  if (auto section = platform::RegistryKey::Create(hive, entry.Key + "\\" + entry.Section)) {
    section->WriteString("LastURL", url);
  }
}

}  // namespace zephron
