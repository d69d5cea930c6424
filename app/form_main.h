// TformMain, the updater's main window as a controller: it owns the update
// engine and the HTTP client, runs the check pass over the catalogue, handles
// the engine's events and keeps the updater log. Everything on screen goes
// through a view (ui/main_view.h), so the same driver serves the Qt window,
// the console front end and the tests.
#pragma once

#include <functional>
#include <string>

#include "app/product_display.h"
#include "app/update_location.h"
#include "app/updater_log.h"
#include "engine/zephron.h"
#include "transfer/http_client.h"
#include "ui/main_view.h"

namespace zephron {

// The table of program-wide texts.
namespace texts {
inline constexpr const char* kAppRunning = "Application %s seems to be running.";
inline constexpr const char* kNoNewVersion = "No new version found";
inline constexpr const char* kNewVersions = "New version(s) found";
inline constexpr const char* kUpdateNotAvailable = "Update not available";
inline constexpr const char* kDownloading = "Downloading";
inline constexpr const char* kCheckingForUpdates = "Checking for updates";
inline constexpr const char* kConfirmUpdate =
    "There are software updates available.\r\r%s\r\rWould you like to update your installations now?";
inline constexpr const char* kZephronFailed = "Zephron failed, please check the log for more information";
inline constexpr const char* kNoNewVersions =
    "No new versions found, the installed components are the latest versions available.";
inline constexpr const char* kZephronFinished = "Zephron finished";
inline constexpr const char* kCheckingUpdatesFor = "Checking updates for ";
inline constexpr const char* kAccessError = "Access error";
inline constexpr const char* kUnknownLocation = "Unknown update location";
inline constexpr const char* kLocationUnreachable = "The update location cannot be reached: ";
inline constexpr const char* kFilesDownloaded =
    "Files downloaded, please restart the application to complete the update.";
}  // namespace texts

class TformMain {
 public:
  // FormCreate: the HTTP client, the debug switch from the command line, the
  // log folder, the product display and the caption.
  TformMain(ui::MainView& view, int argc, const char* const* argv);
  TformMain(const TformMain&) = delete;
  TformMain& operator=(const TformMain&) = delete;

  // ---- The driver ----
  void bCheckClick();
  void bGetUpdatesClick();
  void RunPass();
  void CheckProduct(const std::string& name, const std::string& mutex, const std::string& folder);
  std::string ResolveUpdateHost();
  void IdHTTPRedirect(std::string& dest);
  // The update pass's work for one product found by the check, in its
  // installation folder dir.
  void UpdateProduct(const std::string& name, const std::string& mutex, const std::string& dir);
  // False when the user gave up on a product that runs (its mutex exists).
  bool ConfirmNotRunning(const std::string& name, const std::string& mutex);
  // Tendwell's executable replaced by the component its control file names.
  void ReplaceExecutable(const std::string& dir);

  // ---- Engine event handlers ----
  void ZephronStatus(TZephron& Sender, const std::string& StatusStr, int StatusCode, int ErrCode);
  void ZephronFileProgress(TZephron& Sender, const std::string& FileName, int Pos, int Size);
  void ZephronFileDownloaded(TZephron& Sender, const std::string& FileName);
  void ZephronBeforeFileDownload(TZephron& Sender, int FileIdx, const std::string& FileDescription, std::string& URL);
  void ZephronAppRestart(TZephron& Sender, bool& Allow);
  void ZephronGetFileList(TZephron& Sender, std::vector<std::string>& List);
  void ReadApplicationSection(const std::string& fileName);

  // ---- Display ----
  const std::string& Status() const { return FStatus; }
  void SetStatus(const std::string& text);
  void ShowProduct(int row);
  void ShowProducts();
  void ShowBusyCursor();
  void RestoreCursor();

  const TUpdaterLog& Log() const { return FLog; }
  bool DebugMode() const { return FLog.DebugMode(); }

  // Where a product's updates lie; GetUpdateLocation unless a host replaces it.
  std::function<TUpdateLocation(const std::string& productName)> UpdateLocationSource = GetUpdateLocation;

  // ---- Driver state ----
  bool CheckOnly = false;
  bool Checked = false;
  std::int32_t ErrorCode = 0;
  bool AppUpdated = false;
  std::string UpdateInfo;
  TNameValueList slNewVersions;
  std::string UpdatingKey;
  std::string zpHost;
  std::string LastURLCheck;
  std::string LastActualURL;
  std::string redirection;
  std::string CurrentUpdateFolder;
  std::string RenameFrom;
  std::string RenameTo;

  TZephron Zephron;
  TIdHTTP IdHTTP;

 private:
  ui::MainView& FView;
  TUpdaterLog FLog;
  std::string FStatus;
  int FBusyCount = 0;
  bool FFtpLocationApplied = false;  // the engine's Port and FTPDirectory come from an ftp:// location
};

}  // namespace zephron
