// Connection management: going online (dial-up where the platform has it),
// the Internet handle with the engine's agent, proxy, time-outs and
// certificate policy, the FTP log-on, and closing all of it again.
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "transfer/messages.h"

namespace zephron {

using namespace transfer;

int TZephron::StartConnection() {
  FHint.reset();
  FHintConnect.reset();
  if (UpdateType == fileUpdate) return 0;
  DoStatus(msgCheckingConnection, "", 3, 0);
  if (UpdateConnect == zpcNone) return 0;

  if (!Connected() && UpdateConnect == zpcNoConnect) return 1;
  if (!Connected() && (UpdateConnect == zpcConnectPrompt || UpdateConnect == zpcConnectPromptHangup)) {
    DoStatus(msgPromptConnection, "", 3, 0);
    if (InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, 0) == 0) {
      DoStatus(msgDialupFailed, "", 3, 0);
      return 3;
    }
    FDialed = true;
  }
  if (!Connected() && (UpdateConnect == zpcConnectSilent || UpdateConnect == zpcConnectSilentHangup)) {
    DoStatus(msgOpeningConnection, "", 3, 0);
    if (InternetAutodial(INTERNET_AUTODIAL_FORCE_UNATTENDED, 0) == 0) {
      DoStatus(msgDialupFailed, "", 3, 0);
      return 3;
    }
    FDialed = true;
  }
  DoStatus(msgFoundConnection, "", 3, 0);

  FHint = Proxy.empty() ? InternetOpenW(Agent, INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0)
                        : InternetOpenW(Agent, INTERNET_OPEN_TYPE_PROXY, Proxy, "", 0);
  if (!FHint) {
    DoStatus(msgCannotOpenConnection, "", 1, 0);
    return 2;
  }
  if (TimeOut > 0) InternetSetOptionW(FHint, INTERNET_OPTION_CONNECT_TIMEOUT, static_cast<std::uint32_t>(TimeOut));
  if (ReceiveTimeOut > 0) {
    InternetSetOptionW(FHint, INTERNET_OPTION_RECEIVE_TIMEOUT, static_cast<std::uint32_t>(ReceiveTimeOut));
  }
  if (CertCheck == ccDisable) {
    InternetSetOptionW(FHint, INTERNET_OPTION_SECURITY_FLAGS,
                       SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
  }
  if (UpdateType == httpUpdate) FHintConnect = FHint;
  FInProgress = true;
  return 0;
}

int TZephron::FTPConnect() {
  FFTPDirSet = false;
  DoStatus(msgConnectToHost, Host, 3, 0);
  const bool logOn = !UserID.empty() && !Password.empty();
  FHintConnect = InternetConnectW(FHint, Host, static_cast<std::uint16_t>(Port), logOn ? UserID : "",
                                  logOn ? Password : "", INTERNET_SERVICE_FTP, FTPPassive ? INTERNET_FLAG_PASSIVE : 0,
                                  0);
  return FHintConnect ? 0 : -1;
}

int TZephron::StopConnection() {
  if (UpdateType != fileUpdate) {
    if (UpdateType == ftpUpdate && FHintConnect) {
      InternetCloseHandle(FHintConnect);
      DoStatus(msgClosedFtpConnection, "", 3, 0);
    }
    // For HTTP the connection handle is the Internet handle itself: it must
    // not outlive the close below as a name for a closed handle.
    FHintConnect.reset();
    if (FHint) {
      InternetCloseHandle(FHint);
      DoStatus(msgClosedConnection, "", 3, 0);
    }
    FHint.reset();
    if (FDialed && (UpdateConnect == zpcConnectPromptHangup || UpdateConnect == zpcConnectSilentHangup)) {
      InternetAutodialHangup(0);
      DoStatus(msgDisconnectDialup, "", 3, 0);
    }
    DoStatus(msgClosedConnection, "", 3, 0);
  }
  if (!FControlFileName.empty()) platform::DeleteFile(platform::ToSlashes(FControlFileName));
  FInProgress = false;
  return 0;
}

bool TZephron::Connected() const {
  if (URL.find("127.0.0.1") != std::string::npos) return true;
  std::uint32_t flags = 0;
  return InternetGetConnectedState(flags, 0) != 0;
}

int TZephron::ConnectionType() const {
  std::uint32_t flags = 0;
  if (InternetGetConnectedState(flags, 0) != 0) return static_cast<int>(flags);
  return -1;
}

void TZephron::HangUp() {
  if (Connected()) InternetAutodialHangup(0);
}

}  // namespace zephron
