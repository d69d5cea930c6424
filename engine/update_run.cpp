// Update execution: the whole update run (DoUpdate), the same on a worker
// thread (DoThreadUpdate, ThreadDone), and the restart that hands the files
// in use to the setup program (DoRestart, ExtractSetupProgram), with the
// environment texts the run logs.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "archive/expand_compressed_file.h"
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/special_folders.h"
#include "platform/system_info.h"
#include "transfer/messages.h"
#include "ui/main_thread.h"

namespace zephron {

namespace fs = std::filesystem;

namespace {

// The development environments whose keys the log names: key under the
// machine hive and the short code written for it, in this order.
struct IdeKey {
  const char* key;
  const char* code;
};
constexpr IdeKey kIdeKeys[] = {
    {"Software\\Borland\\Delphi\\5.0", "D5"},
    {"Software\\Borland\\Delphi\\6.0", "D6"},
    {"Software\\Borland\\Delphi\\7.0", "D7"},
    {"Software\\Borland\\C++Builder\\5.0", "CB5"},
    {"Software\\Borland\\C++Builder\\6.0", "CB6"},
    {"Software\\Borland\\BDS\\3.0", "BDS3"},
    {"Software\\Borland\\BDS\\4.0", "BDS4"},
    {"Software\\Borland\\BDS\\5.0", "BDS5"},
    {"Software\\Microsoft\\VisualStudio\\6.0", "VS6"},
    {"Software\\Microsoft\\VisualStudio\\7.1", "VS71"},
    {"Software\\Microsoft\\VisualStudio\\8.0", "VS8"},
};

// A command-line part: quoted when it holds a blank.
std::string QuotedWhenBlank(const std::string& text) {
  return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

}  // namespace

void TZephron::DoUpdate() { DoUpdate(true); }

void TZephron::DoUpdate(bool InitPath) {
  FCancelled = false;
  if (InitPath) {
    std::error_code ec;
    fs::current_path(platform::ProgramFolder(), ec);
  }
  DoStatus(msgStartUpdate, FThreaded ? "Threaded update" : "Non threaded update", 0, 0);
  DoStatus(msgOsVersion, GetOSVersion(), 0, 0);
  DoStatus(msgIeVersion, GetIEVersion(), 0, 0);
  DoStatus(msgCompiler, GetIDE(), 0, 0);
  DoStatus(msgInstalledIdes, GetInstalledIDEs(), 0, 0);
  FAppCompsIncluded = false;
  FFTPDirSet = false;
  FControlFileName.clear();
  DoStatus(msgStartProcess, Version(), 0, 0);

  if (StartConnection() != 0) return;
  try {
    if (UpdateType == ftpUpdate && FTPConnect() == -1) Error();
    if ((FHintConnect || UpdateType == fileUpdate) && GetControlFile() == 0) {
      const bool go = ForceUpdate || DoVersionCheck() != 7;
      if (!go) {
        FAppClose = false;
      } else if (HandleActions() != -1) {
        int accepted = 0;
        FDigestRefused = false;
        if (auto stream = GetWhatsNewStream()) accepted = ShowWhatsNewDialog(*stream);
        // The agreement text is fetched whatever the answer above.
        if (auto stream = GetEULAStream(); stream && accepted == 0) accepted = ShowEULADialog(*stream);
        // A text swapped on the server must not be skipped like a missing
        // one: the user would never have been shown the agreement.
        if (FDigestRefused) accepted = -1;
        if (accepted == 0 && GetFileDetails() > 0) {
          int result = ProcessFileDetails();
          if (result == 0) {
            if (ShowDownloadProgress) FProgressForm = Dialogs().CreateProgressWindow();
            result = GetFileUpdates();
            if (FProgressForm) FProgressForm->Hide();
            FProgressForm.reset();
            UpdateActions();
          }
          StopConnection();
          if (result == 0 && !FCancelled) DoSuccess();
          if (AppNeedsRestart() && !FThreaded) DoRestart();
          return;
        }
        FAppClose = false;
      }
    }
  } catch (...) {
    // An EngineError ({LAD} without its folder) leaves the run; the
    // connection and the progress window go with it.
    FProgressForm.reset();
    StopConnection();
    throw;
  }
  StopConnection();
}

void TZephron::DoThreadUpdate() { DoThreadUpdate(true); }

void TZephron::DoThreadUpdate(bool InitPath) {
  if (FThread.joinable()) return;  // one run at a time
  FThreaded = true;
  FThreadError = nullptr;
  FThread = std::thread([this, InitPath] {
    try {
      DoUpdate(InitPath);
    } catch (...) {
      // Raised again on the main thread, where the host catches it.
      FThreadError = std::current_exception();
    }
    ui::ProcessMainThread().Post([this] { ThreadDone(); });
  });
}

void TZephron::ThreadDone() {
  if (FThread.joinable()) FThread.join();
  if (OnThreadUpdateDone) OnThreadUpdateDone(*this);
  FThreaded = false;
  DoStatus(msgThreadedUpdateDone, "", 0, 0);
  if (AppNeedsRestart()) {
    DoStatus(msgRestartAfterThreaded, "", 0, 0);
    DoRestart();
  }
  if (std::exception_ptr error = std::exchange(FThreadError, nullptr)) std::rethrow_exception(error);
}

void TZephron::DoSuccess() {
  if (OnSuccess) OnSuccess(*this);
}

std::string TZephron::RestartParameters() {
  const std::string pid = std::to_string(platform::CurrentProcessId());
  const std::string flag = Logging ? " L " : " X ";
  std::string app = QuotedWhenBlank(platform::IncludeTrailingPathDelimiter(platform::CurrentFolder()) + FAppName);
  FAppParam = QuotedWhenBlank(FAppParam);
  app += " " + FAppParam;
  const std::string tmp = UseWinTempDir ? WinTempDir() : TempDirectory;
  return pid + flag + app + " \"" + tmp + "\" " + FAppComps;
}

void TZephron::DoRestart() {
  DoStatus(msgRestartInDirectory, platform::CurrentFolder(), 0, 0);
  bool cancel = false;
  DoProgressCancel(cancel);
  if (cancel) return;
  bool allow = true;
  if (OnAppRestart) {
    OnAppRestart(*this, allow);
  } else if (!FAppSilentRestart) {
    allow = Dialogs().MessageBox("Shutdown application to update executable files ?", ui::MessageKind::Confirmation,
                                 ui::MessageButtons::YesNo) == ui::DialogResult::Yes;
  }
  if (!allow) return;

  ExtractSetupProgram();
  const std::string documents = platform::DocumentsFolder();
  const std::string settings =
      documents.empty() ? std::string("ZEPHRON.INI") : platform::IncludeTrailingPathDelimiter(documents) + "ZEPHRON.INI";
  platform::WriteProfileString(settings, "CONFIG", "LOGFILENAME", EngineLogPath());

  const std::string parameters = RestartParameters();
  DoStatus(msgSpawn, parameters, 0, 0);
  // The setup program runs from the download folder; the patcher it runs
  // for patches travels beside this program, where PATH now leads too.
  if (const std::string own = platform::ProgramFolder(); !own.empty()) platform::PrependToSearchPath(own);
  platform::ShellExecuteOpen(platform::ToSlashes(WinTempDir()) + "zephronsetup.exe", parameters,
                             platform::WindowState::ShownNormally);
  if (OnAppDoClose) {
    OnAppDoClose(*this);
  } else {
    ui::ProcessMainThread().Quit();
  }
}

void TZephron::ExtractSetupProgram() {
  const auto program = platform::FindResource("UPD");
  if (!program) return;  // an engine built into a program that carries no setup program
  const std::string compressed = platform::ToSlashes(WinTempDir()) + "zephronsetup.ex_";
  {
    std::ofstream out(compressed, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(program->data()), static_cast<std::streamsize>(program->size()));
    if (!out) return;
  }
  const ExpandResult expanded = ExpandCompressedFile(compressed);
  if (expanded.status != ExpandStatus::kExpanded) return;
  std::error_code ec;
  fs::permissions(expanded.expandedPath, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
}

std::string TZephron::GetOSVersion() {
  return platform::OperatingSystemVersion();
}

std::string TZephron::GetIEVersion() {
  const auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine,
                                               "Software\\Microsoft\\Internet Explorer\\Version Vector");
  if (key) {
    if (auto value = key->ReadString("IE")) return *value;
  }
  return "(not found)";
}

std::string TZephron::GetIDE() { return {}; }

std::string TZephron::GetInstalledIDEs() {
  std::string codes;
  for (const IdeKey& ide : kIdeKeys) {
    if (!platform::KeyExists(platform::Hive::LocalMachine, ide.key)) continue;
    if (!codes.empty()) codes += ' ';
    codes += ide.code;
  }
  return codes;
}

}  // namespace zephron
