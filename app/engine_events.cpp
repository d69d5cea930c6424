// The main window's handlers of the engine's events: log lines, the pass's
// error code, the progress bar, restart grants, absolute file URLs and the
// Tendwell executable names.
#include <cmath>

#include "app/form_main.h"
#include "engine/control_file.h"
#include "platform/profile.h"

namespace zephron {

void TformMain::ZephronStatus(TZephron& Sender, const std::string& StatusStr, int StatusCode, int ErrCode) {
  switch (StatusCode) {
    case 0:
    case 12:
    case 13:
    case 14:
    case 15:
      break;
    case 1:
      FLog.LogLine(texts::kAccessError);
      break;
    case 2:
      FLog.LogLine(texts::kUpdateNotAvailable);
      break;
    case 3:
      if (StatusStr == "Update control file found") {
        if (CurrentUpdateFolder == "tendwell") {
          ReadApplicationSection(Sender.WinTempDir() + Sender.URLtoFile(Sender.GetControlFileURL()));
        }
      } else if (StatusStr.find("Version") != std::string::npos) {
        FLog.LogDebug(StatusStr);
      }
      break;
    case 4:
      FLog.LogLine(texts::kNoNewVersion);
      break;
    case 5:
      FLog.LogLine(texts::kNewVersions);
      break;
    case 6:
      if (ErrCode == 404) {
        FLog.LogDebug(texts::kUpdateNotAvailable);
      } else {
        FLog.LogLine(StatusStr);
      }
      break;
    default:
      FLog.LogLine(StatusStr);
  }
  if (ErrCode != 404) {
    if (ErrCode > ErrorCode) ErrorCode = ErrCode;
    if (ErrorCode != 0) SetStatus(StatusStr);
  }
  FView.SetProgressPosition(0);
  FView.SetProgressVisible(false);
}

void TformMain::ZephronFileProgress(TZephron&, const std::string&, int Pos, int Size) {
  if (Size == 0) return;
  if (!FView.ProgressVisible()) FView.SetProgressVisible(true);
  FView.SetProgressPosition(static_cast<int>(std::trunc(static_cast<double>(Pos) / Size * 100.0)));
}

void TformMain::ZephronFileDownloaded(TZephron&, const std::string& FileName) {
  FView.SetProgressPosition(0);
  FView.SetProgressVisible(false);
  FLog.LogDebug("Downloaded " + FileName);
}

void TformMain::ZephronBeforeFileDownload(TZephron&, int, const std::string& FileDescription, std::string&) {
  SetStatus(std::string(texts::kDownloading) + " " + FileDescription);
}

void TformMain::ZephronAppRestart(TZephron&, bool& Allow) {
  Allow = true;
  AppUpdated = true;
}

void TformMain::ZephronGetFileList(TZephron& Sender, std::vector<std::string>&) {
  std::string prefix = Sender.URL;
  while (!prefix.empty() && prefix.back() != '/') prefix.pop_back();
  // An FTP control file is named without a folder: its files are read from
  // the FTP folder the engine changed to, so their names stay as they are.
  if (prefix.empty()) return;
  TFileList& files = Sender.FileList();
  for (int i = 0; i < files.Count(); ++i) {
    std::string& url = files.Items(i).URL;
    // A file entry that gives a whole location keeps it.
    if (url.find("://") != std::string::npos || (!url.empty() && (url[0] == '/' || url[0] == '\\'))) continue;
    url = prefix + url;
  }
}

void TformMain::ReadApplicationSection(const std::string& fileName) {
  platform::ProfileFile file(fileName);
  RenameFrom = ReadValue(file, "application", "appcomps", "");
  RenameTo = ReadValue(file, "application", "appname", "");
  file.EraseSection("application");
}

}  // namespace zephron
