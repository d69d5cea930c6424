// The main window's creation, its status property, the product display and
// the busy cursor.
#include "app/form_main.h"

#include "app/registry_read.h"
#include "app/version_string.h"
#include "platform/special_folders.h"

namespace zephron {

TformMain::TformMain(ui::MainView& view, int argc, const char* const* argv)
    : FView(view), FLog(UpdaterLogFolderFor(GetAppDataFolder()), IsDebugCommandLine(argc, argv)) {
  // The engine's settings of the window resource.
  Zephron.Agent = "TZephron";
  Zephron.DateFormat = "dd/mm/yyyy";
  Zephron.DateSeparator = '/';
  Zephron.ExtractCAB = true;
  Zephron.Logging = true;
  Zephron.SetLogFileName("ZEPHRON.LOG");
  Zephron.Signature = "Zephron";
  Zephron.TempDirectory = ".";
  Zephron.TimeFormat = "hh:nn";
  Zephron.TimeSeparator = ':';
  Zephron.UpdateType = ftpUpdate;
  Zephron.UpdateConnect = zpcConnectPrompt;
  Zephron.UpdateUpdate = zpuSilent;
  Zephron.VersionCheck = vcAlways;
  Zephron.PostUpdateInfo.Enabled = false;

  Zephron.OnStatus = [this](TZephron& s, const std::string& t, int c, int e) { ZephronStatus(s, t, c, e); };
  Zephron.OnFileProgress = [this](TZephron& s, const std::string& f, int p, int z) { ZephronFileProgress(s, f, p, z); };
  Zephron.OnFileDownloaded = [this](TZephron& s, const std::string& f) { ZephronFileDownloaded(s, f); };
  Zephron.OnAppRestart = [this](TZephron& s, bool& allow) { ZephronAppRestart(s, allow); };
  Zephron.OnBeforeFileDownload = [this](TZephron& s, int i, const std::string& d, std::string& u) {
    ZephronBeforeFileDownload(s, i, d, u);
  };
  Zephron.OnGetFileList = [this](TZephron& s, std::vector<std::string>& list) { ZephronGetFileList(s, list); };
  IdHTTP.OnRedirect = [this](std::string& dest) { IdHTTPRedirect(dest); };

  FView.SetGetUpdatesEnabled(false);
  FView.SetProgressVisible(false);
  ShowProducts();
  FView.SetCaption("Corvexis Zephron " + GetFileVersionString(platform::ProgramFile(), 3));
}

void TformMain::SetStatus(const std::string& text) {
  FStatus = text;
  FView.SetStatusText(text);
  FLog.LogDebug(text);
}

void TformMain::ShowProduct(int row) {
  const TProduct& product = kCatalogue.at(static_cast<std::size_t>(row));
  const TProductDisplay display = DescribeProduct(product, Checked, slNewVersions, UpdatingKey);
  FView.ShowProductRow(row, {std::string(product.panelKey), display.label, display.firstColor, display.secondColor});
}

void TformMain::ShowProducts() {
  for (int row = 0; row < static_cast<int>(kCatalogue.size()); ++row) ShowProduct(row);
}

void TformMain::ShowBusyCursor() {
  ++FBusyCount;
  // Someone else restored the cursor meanwhile: start counting afresh.
  if (FBusyCount > 1 && !FView.IsBusyCursor()) FBusyCount = 1;
  if (FBusyCount == 1) FView.SetBusyCursor(true);
}

void TformMain::RestoreCursor() {
  if (FBusyCount > 0) --FBusyCount;
  if (FBusyCount == 0) FView.SetBusyCursor(false);
}

}  // namespace zephron
