// The check and update passes: the walk over the catalogue, the update
// location of each product and its resolution, the engine's check of each
// installed product and, in an update pass, its update after making sure
// it is not running.
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/form_main.h"
#include "app/registry_read.h"
#include "platform/ascii_case.h"
#include "platform/file_io.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"

namespace zephron {
namespace {

using platform::StartsWithAsciiNoCase;

// The engine's FTP settings as the window resource gives them.
constexpr int kResourcePort = 21;

constexpr const char* kInsecureRedirect = "The update location redirects from https to plain http: ";

// An "ftp://[user@]host[:port][/path]" location, split for the engine.
struct FtpLocation {
  std::string host;
  int port = 21;
  std::string path;  // relative to the login folder, without leading or trailing "/"
};

FtpLocation SplitFtpLocation(const std::string& url) {
  FtpLocation location;
  std::string rest = url.substr(url.find("://") + 3);
  const auto slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  location.path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  while (!location.path.empty() && location.path.back() == '/') location.path.pop_back();
  if (const auto at = authority.rfind('@'); at != std::string::npos) authority = authority.substr(at + 1);
  const auto colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
    try {
      location.port = std::stoi(authority.substr(colon + 1));
    } catch (const std::exception&) {
      location.port = 21;
    }
    authority = authority.substr(0, colon);
  }
  location.host = authority;
  return location;
}

}  // namespace

void TformMain::bCheckClick() {
  SetStatus(texts::kCheckingForUpdates);
  Zephron.UseWinTempDir = false;
  CheckOnly = true;
  RunPass();
  CheckOnly = false;
  FView.SetGetUpdatesEnabled(!UpdateInfo.empty());
}

void TformMain::RunPass() {
  UpdateInfo.clear();
  FView.SetCheckEnabled(false);
  FView.SetGetUpdatesEnabled(false);
  ShowBusyCursor();
  if (CheckOnly) slNewVersions.Clear();
  ErrorCode = 0;
  try {
    for (const TProduct& product : kCatalogue) {
      CheckProduct(std::string(product.name), std::string(product.mutex), std::string(product.updateFolder));
    }
    if (!CheckOnly) {
      FView.ShowInfo(ErrorCode != 0 ? texts::kZephronFailed
                     : AppUpdated   ? texts::kFilesDownloaded
                                    : texts::kZephronFinished);
    }
    FLog.LogLine(texts::kZephronFinished);
    if (!CheckOnly) slNewVersions.Clear();
  } catch (const std::exception& error) {
    FView.ShowInfo(error.what());
    SetStatus(error.what());
    if (ErrorCode == 0) ErrorCode = -1;
  }
  FView.SetCheckEnabled(true);
  RestoreCursor();
  if (AppUpdated) FView.Close();
  Checked = true;
  if (ErrorCode == 0) SetStatus(UpdateInfo.empty() ? texts::kNoNewVersions : texts::kNewVersions);
  UpdatingKey.clear();
  ShowProducts();
}

void TformMain::CheckProduct(const std::string& name, const std::string& mutex, const std::string& folder) {
  if (!CheckOnly && !slNewVersions.Value(name)) return;
  FLog.LogDebug("Checking " + name);
  const std::string path = GetInstallPath(name);
  FLog.LogDebug("Registry path is Software\\Corvexis\\" + name);
  FLog.LogDebug("Install path is " + path);
  if (path.empty()) return;
  if (!CheckOnly) {
    UpdatingKey = name;
    ShowProducts();
  }

  const TUpdateLocation location = UpdateLocationSource(name);
  zpHost = location.baseURL;
  Zephron.UserID = location.userID;
  Zephron.Password = location.password;
  Zephron.PublicKey = location.publicKey;
  const std::string resolved = ResolveUpdateHost();
  Zephron.Host = resolved;
  FLog.LogDebug("Contacting " + Zephron.Host);
  Zephron.UpdateType = StartsWithAsciiNoCase(resolved, "http") ? httpUpdate
                       : StartsWithAsciiNoCase(resolved, "ftp") ? ftpUpdate
                                                                : fileUpdate;
  CurrentUpdateFolder = folder;
  RenameFrom.clear();
  RenameTo.clear();
  if (zpHost.empty()) throw TUpdaterError(texts::kUnknownLocation);
  // A web address that did not resolve must not turn into a path on this
  // machine ("/<folder>/<folder>.INF" at the root).
  if (resolved.empty() && StartsWithAsciiNoCase(zpHost, "http")) {
    throw TUpdaterError(std::string(texts::kLocationUnreachable) + zpHost);
  }
  // Unsigned updates are only as safe as the connection: a redirector must
  // not take them off https. Signed ones are checked whatever carries them.
  if (location.publicKey.empty() && StartsWithAsciiNoCase(zpHost, "https:") &&
      StartsWithAsciiNoCase(resolved, "http:")) {
    throw TUpdaterError(std::string(kInsecureRedirect) + zpHost);
  }
  FLog.LogDebug(std::string(texts::kCheckingUpdatesFor) + " " + name);

  // What an ftp:// location set is this product's alone; the next product
  // starts from the window's settings again.
  if (FFtpLocationApplied) {
    Zephron.Port = kResourcePort;
    Zephron.FTPDirectory.clear();
    FFtpLocationApplied = false;
  }
  if (Zephron.UpdateType == ftpUpdate) {
    Zephron.URL = folder + ".INF";
    // An ftp:// location has the same layout as an HTTP one: the engine logs
    // on to the URL's host and port and reads from its path + the update folder.
    if (StartsWithAsciiNoCase(resolved, "ftp://")) {
      const FtpLocation ftp = SplitFtpLocation(resolved);
      Zephron.Host = ftp.host;
      Zephron.Port = ftp.port;
      Zephron.FTPDirectory = ftp.path.empty() ? folder : ftp.path + "/" + folder;
      FFtpLocationApplied = true;
    }
  } else {
    std::string base = resolved;
    if (base.empty() || base.back() != '/') base += '/';
    Zephron.URL = base + folder + "/" + folder + ".INF";
    // A file location is a path, not a web address: it gets no "http://".
    if (Zephron.UpdateType == httpUpdate && !StartsWithAsciiNoCase(Zephron.URL, "htt")) {
      Zephron.URL = "http://" + Zephron.URL;
    }
    if (Zephron.UpdateType == fileUpdate && StartsWithAsciiNoCase(Zephron.URL, "file://")) {
      Zephron.URL = Zephron.URL.substr(7);
    }
  }

  std::string dir = platform::ToSlashes(path);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  if (ec) throw TUpdaterError("I/O error " + std::to_string(ec.value()) + ": " + dir);
  FLog.LogDebug("Current path: " + platform::CurrentFolder());

  if (Zephron.NewVersionAvailable(false)) {
    if (CheckOnly) {
      UpdateInfo += name + ": " + Zephron.NewVersionInfo() + "\r\n";
      slNewVersions.Add(name, Zephron.NewVersionInfo());
    } else {
      UpdateProduct(name, mutex, dir);
    }
  }
  FLog.LogLine("");
}

void TformMain::bGetUpdatesClick() {
  if (!UpdateInfo.empty()) {
    std::string question = texts::kConfirmUpdate;
    question.replace(question.find("%s"), 2, UpdateInfo);
    if (FView.AskYesNo(question)) RunPass();
  }
  SetStatus("");
}

void TformMain::UpdateProduct(const std::string& name, const std::string& mutex, const std::string& dir) {
  if (!mutex.empty() && !ConfirmNotRunning(name, mutex)) return;
  FLog.LogDebug(dir);
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  if (ec) throw TUpdaterError("I/O error " + std::to_string(ec.value()) + ": " + dir);
  FLog.LogDebug("Current path: " + platform::CurrentFolder());
  Zephron.DoUpdate(false);
  if (!RenameFrom.empty()) ReplaceExecutable(dir);
  slNewVersions.Remove(name);
}

void TformMain::ReplaceExecutable(const std::string& dir) {
  const std::string folder = platform::IncludeTrailingPathDelimiter(dir);
  // The names come from the control file: they may only name files of the
  // installation folder.
  const auto plain = [](const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
  };
  if (!plain(RenameFrom) || !plain(RenameTo)) {
    FLog.LogLine("Refusing to rename " + RenameFrom + " to " + RenameTo);
    return;
  }
  FLog.LogLine("Deleting " + folder + RenameTo);
  FLog.LogLine("Renaming " + folder + RenameFrom + " to " + folder + RenameTo);
  // One rename replaces the old executable, so it is never missing.
  platform::MoveFileReplacing(folder + RenameFrom, folder + RenameTo);
}

bool TformMain::ConfirmNotRunning(const std::string& name, const std::string& mutex) {
  for (;;) {
    bool running = platform::NamedMutex(mutex).alreadyExisted();
    if (!running) running = platform::NamedMutex("Global\\" + mutex).alreadyExisted();
    if (!running) return true;
    std::string warning = texts::kAppRunning;
    warning.replace(warning.find("%s"), 2, name);
    if (!FView.WarnRetryCancel(warning)) return false;
  }
}

std::string TformMain::ResolveUpdateHost() {
  if (LastURLCheck == zpHost) return LastActualURL;
  LastURLCheck = zpHost;
  std::string result;
  // Only a web address can be a redirector; any other location is its own answer.
  if (!StartsWithAsciiNoCase(zpHost, "http")) {
    result = zpHost;
  } else {
    const THttpGetResult answer = IdHTTP.Get(zpHost);
    result = answer.ok && !answer.body.empty() ? zpHost : redirection;
  }
  LastActualURL = result;
  return result;
}

void TformMain::IdHTTPRedirect(std::string& dest) { redirection = dest; }

}  // namespace zephron
