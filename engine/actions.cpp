// The control file's actions: those before the downloads (message, HTML
// page, program, custom process, web page, question) and those after them
// (post-update request, release date, new location, program), and the
// engine's hooks around them.
#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "transfer/messages.h"

namespace zephron {

namespace {

// Above this, a shell "open" succeeded.
constexpr std::intptr_t kShellOpenFailed = 32;

}  // namespace

void TZephron::StartActionProgram(const std::string& path, const std::string& parameters) {
  // The shell's "open" with the parameters, not waited for; a program that
  // cannot be started is not reported.
  platform::ShellExecuteOpen(path, parameters, platform::WindowState::ShownNormally);
}

int TZephron::HandleActions() {
  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  TActionSection action = ReadActionSection(file, EngineExpander(*this));
  int result = 0;

  if (!action.msg.empty()) {
    DoStatus(msgFoundMessage, "", 3, 0);
    Dialogs().MessageBox(action.msg, ui::MessageKind::Information, ui::MessageButtons::Ok);
  }
  if (!action.htmldlg.empty()) {
    DoStatus(msgFoundHtmlDialog, "", 7, 0);
    ShowHTMLDialog(action.htmldlg);
  }
  DoSetAppParamBefore(action.runbeforeparam);
  if (!action.runbefore.empty()) StartActionProgram(action.runbefore, action.runbeforeparam);
  if (OnCustomProcess) {
    const TCustomSection custom = ReadCustomSection(file);
    OnCustomProcess(*this, custom.processmsg, custom.processparam);
  }
  if (!action.showURL.empty()) {
    DoStatus(msgFoundUrlShow, "", 3, 0);
    // The page is opened as written: the proxy's credentials are the
    // engine's, and the browser reaches the page through its own settings.
    if (platform::ShellExecuteOpen("iexplore.exe", "-new " + action.showURL, platform::WindowState::ShownNormally) <=
        kShellOpenFailed) {
      platform::ShellExecuteOpen(action.showURL, "", platform::WindowState::ShownNormally);
    }
  }
  if (!action.query.empty()) {
    DoStatus(msgFoundQuery, "", 3, 0);
    if (Dialogs().MessageBox(action.query, ui::MessageKind::Information, ui::MessageButtons::YesNo) !=
        ui::DialogResult::Yes) {
      FAppClose = false;
      result = -1;
    }
  }
  if (FCancelled) result = -1;
  return result;
}

int TZephron::UpdateActions() {
  if (FCancelled) return -1;
  if (PostUpdateInfo.Enabled) {
    bool allowPost = true;
    if (OnBeforePost) OnBeforePost(*this, allowPost);
    if (allowPost) {
      DoPostUpdateInfo();
      bool allowPostResult = true;
      if (OnProcessPostResult) OnProcessPostResult(*this, allowPostResult);
      if (!allowPostResult) return -1;
    }
  }
  // What the pass fetched and unpacked is on disk before the pass is over
  // and recorded as done: a power cut must not leave the record of an
  // update, or replaced files, beside new files that were never written.
  for (const std::string& folder : FWrittenFolders) platform::FlushFileSystem(folder);
  FWrittenFolders.clear();
  if (FSaveUpdate) UpdateDatePut(FNewVersionDate);

  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  TActionSection action = ReadActionSection(file, EngineExpander(*this));
  if (!action.updateURL.empty()) {
    DoStatus(msgFoundUrlRedirection, "", 3, 0);
    URLPut(action.updateURL);
  }
  if (FUtility && ApplyPatch) ExtractPatcher();
  DoSetAppParamAfter(action.runafterparam);
  if (!action.runafter.empty()) StartActionProgram(action.runafter, action.runafterparam);
  DoStatus(msgFinishedControlFile, "", 3, 0);
  return 0;
}

void TZephron::DoSetAppParamBefore(std::string& AppParams) {
  if (OnSetAppParamBefore) OnSetAppParamBefore(*this, AppParams);
}

void TZephron::DoSetAppParamAfter(std::string& AppParams) {
  if (OnSetAppParamAfter) OnSetAppParamAfter(*this, AppParams);
}

}  // namespace zephron
