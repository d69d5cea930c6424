// File update selection and installation: the file entries of the control
// file, the ones still needed, and their download and installation (plain
// files, LZ-compressed files, cabinets, patches and application components).
#include <filesystem>
#include <system_error>

#include "archive/cabinet.h"
#include "archive/expand_compressed_file.h"
#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/ascii_case.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/last_error.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/utf8_path.h"
#include "transfer/messages.h"

namespace zephron {

namespace fs = std::filesystem;

namespace {

// Offset of a failing program's exit code in the last error.
constexpr std::uint32_t kExitCodeErrorBase = 8192;

std::string Extension(const std::string& name) {
  return platform::AsciiUpper(platform::Utf8String(platform::Utf8Path(name).extension()));
}

// A command-line argument: quoted only when blanks or quotes would split it.
std::string Argument(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \t\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

int TZephron::GetFileDetails() {
  FFileList.Clear();
  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  const std::int32_t count = file.ReadInteger("files", "count", 0);
  if (count > 0) {
    DoStatus(msgFoundFileUpdate, "", 3, 0);
    const PrefixExpander expand = EngineExpander(*this);
    for (std::int32_t i = 1; i <= std::min(count, kMaxFileEntries); ++i) FFileList.Add() = ReadFileEntry(file, i, expand);
  }
  return count;
}

int TZephron::ProcessFileDetails() {
  int i = 0;
  while (i < FFileList.Count()) {
    TFileDescription& entry = FFileList.Items(i);
    DoStatus(msgProcessingFile,
             entry.URL + "[" + entry.LocalVersion + ",nv=" + entry.NewVersion + ",nd=" + entry.NewDate +
                 ",ns=" + std::to_string(entry.NewSize) + ",nc=" + std::to_string(entry.NewCheckSum) + "]",
             0, 0);
    if (!entry.LocalVersion.empty() && !entry.NewDate.empty()) {
      const TDateTime released = ParseUpdateDate(entry.NewDate, entry.NewTime);
      const auto modified = platform::FileDateTime(platform::ToSlashes(entry.LocalVersion));
      if (modified && *modified >= released) {
        FFileList.Delete(i);
      } else {
        ++i;
      }
      continue;
    }
    std::string newVersion = entry.NewVersion;
    std::string localFile = entry.LocalVersion;
    if (!FileNeedsUpdate(newVersion, localFile, entry.NewCheckSum, entry.NewSize)) {
      DoStatus(msgNoNewVersion, "", 0, 0);
      FFileList.Delete(i);
      continue;
    }
    bool isNew = true;
    if (OnFileVersionCheck && !entry.NewCustomVer.empty()) OnFileVersionCheck(*this, entry.NewCustomVer, localFile, isNew);
    if (isNew) {
      ++i;
    } else {
      FFileList.Delete(i);
    }
  }

  if (OnGetFileList) {
    std::vector<std::string> list;
    for (int k = 0; k < FFileList.Count(); ++k) list.push_back(FFileList.Items(k).Description);
    OnGetFileList(*this, list);
    // The handler may only change the strings; a list of another length
    // is read as far as it goes, and entries beyond it stay.
    std::size_t s = 0;
    int k = 0;
    while (k < FFileList.Count() && s < list.size()) {
      if (!list[s].empty() || FFileList.Items(k).Mandatory) {
        ++k;
        ++s;
        continue;
      }
      FFileList.Delete(k);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(s));
    }
  }
  return FFileList.Count() == 0 ? -1 : 0;
}

int TZephron::GetFileUpdates() {
  int result = 0;
  TZephronUpdate mode = UpdateUpdate;
  for (int i = 1; i <= FFileList.Count(); ++i) {
    TFileDescription& entry = FFileList.Items(i - 1);
    if (mode == zpuPromptAll) {
      const auto answer = Dialogs().MessageBox("Download update file : " + URLtoFile(entry.URL),
                                               ui::MessageKind::Confirmation, ui::MessageButtons::YesNo);
      if (answer != ui::DialogResult::Yes) continue;
    } else if (mode == zpuPromptOnce) {
      const auto answer =
          Dialogs().MessageBox("Download update files ?", ui::MessageKind::Confirmation, ui::MessageButtons::YesNo);
      if (answer != ui::DialogResult::Yes) break;
    }

    std::string url = entry.URL;
    const std::string name = URLtoFile(url);
    FFileList.ActiveItem = i - 1;
    if (OnBeforeFileDownload) OnBeforeFileDownload(*this, i, entry.Description, url);
    const std::string targetDir = platform::ToSlashes(entry.TargetDir);
    if (!targetDir.empty() && !platform::DirectoryExists(targetDir)) ForceDirectory(targetDir);
    const std::string folder = UseWinTempDir ? WinTempDir() : targetDir;

    if (FProgressForm) FProgressForm->Show();
    // Checked before the download replaces anything: a file that is not the
    // one the signed control file describes is never moved, unpacked,
    // patched or left for the setup program.
    if (!PublicKey.empty() && !entry.Sha256.empty()) FExpectedDigest = entry.Sha256;
    const bool fetched = URLGetFile(FHintConnect, url, false, folder);
    FExpectedDigest.reset();
    if (FProgressForm) FProgressForm->Hide();
    if (mode == zpuPromptOnce) mode = zpuSilent;

    if (!fetched) {
      result = -1;
      DoStatus(msgCannotDownloadUpdate, url, 2, 9);
      FAppClose = false;
      continue;
    }
    // A handler that moved the file elsewhere changed where it comes from,
    // not what it is: it is installed under the control file's name.
    const std::string download = platform::IncludeTrailingPathDelimiter(platform::ToSlashes(folder));
    if (const std::string fetchedName = URLtoFile(url); fetchedName != name) {
      platform::MoveFileReplacing(download + fetchedName, download + name);
    }
    if (platform::AsciiLower(FAppComps).find(platform::AsciiLower(name)) != std::string::npos) {
      FAppCompsIncluded = true;
      DoStatus(msgFoundAppComponent, name, 0, 0);
      // Left for the setup program in the download folder, which may be the
      // installation folder: nobody else may change it on the way there.
      if (!PublicKey.empty()) {
        std::error_code ec;
        fs::permissions(download + name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                        ec);
      }
      continue;
    }
    if (!InstallDownloadedFile(entry, download, name)) {
      result = -1;
      FAppClose = false;
    }
  }
  return result;
}

bool TZephron::InstallDownloadedFile(const TFileDescription& entry, const std::string& folder, const std::string& name) {
  const std::string extension = Extension(name);
  const std::string targetDir = platform::IncludeTrailingPathDelimiter(platform::ToSlashes(entry.TargetDir));
  // Where the downloaded file is now; each step below takes it from there.
  std::string file = folder + name;

  if (extension != ".CAB" && extension != ".PAT" && UseWinTempDir && !entry.TargetDir.empty()) {
    // Renamed over the installed file at once: it is never missing on the way.
    // A move that fails (a full disk under the installation) keeps the
    // installed file; the pass must not count it as updated, and the copy
    // in the download folder would only fill that folder.
    if (!platform::MoveFileReplacing(file, targetDir + name)) {
      DoStatus(msgCannotRenameFile, file + " to " + targetDir + name, 19, 7);
      platform::DeleteFile(file);
      return false;
    }
    file = targetDir + name;
  }
  if (extension != ".CAB" && ExtractCAB && entry.Compressed) {
    // Expanded in the target folder, or in the current folder when the
    // entry names none.
    const std::string place = entry.TargetDir.empty() ? std::string() : targetDir;
    if (file != place + name && platform::MoveFileReplacing(file, place + name)) file = place + name;
    const ExpandResult expanded = ExpandCompressedFile(file);
    if (expanded.status == ExpandStatus::kExpanded) file = expanded.expandedPath;
  }
  if (extension == ".CAB" && ExtractCAB && entry.Compressed) {
    if (ExtractCabinet(file, targetDir) == -1) {
      DoStatus(msgErrorDecompressingCab, file, 8, 0);
    } else if (!KeepIntermediateFiles) {
      platform::DeleteFile(file);
    }
  }
  if (extension == ".PAT" && ApplyPatch && !entry.LocalVersion.empty()) {
    if (FUtility && !platform::FileExists("patcher.exe")) ExtractPatcher();
    const bool showWindow = FUtility ? FUtility->ShowWindow : true;
    const bool showAnimation = FUtility ? FUtility->ShowAnimation : false;
    const std::string caption = FUtility ? FUtility->StatusCaption : std::string();
    const std::string message = FUtility ? FUtility->StatusMessage : std::string();
    // The patch is named where it was downloaded, so the patcher finds it
    // whatever the current folder.
    const std::string patch = Argument(file);
    const std::string target = Argument(platform::ToSlashes(entry.LocalVersion));
    const std::string command = Logging ? "patcher.exe -v " + patch + " " + target + ">> ZEPHRON.LOG"
                                        : "patcher.exe " + patch + " " + target;
    RunAndWait(command, showWindow, showAnimation, caption, message);
    if (!KeepIntermediateFiles) platform::DeleteFile(file);
  }
  return true;
}

bool TZephron::ForceDirectory(const std::string& path) {
  std::string folder = platform::ToSlashes(path);
  if (folder.empty()) return true;
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.size() <= 2 || platform::DirectoryExists(folder)) return true;
  const std::string parent = platform::Utf8String(platform::Utf8Path(folder).parent_path());
  bool ok = true;
  if (!parent.empty() && parent != folder) ok = ForceDirectory(parent);
  std::error_code ec;
  fs::create_directory(platform::Utf8Path(folder), ec);
  return ok && platform::DirectoryExists(folder);
}

void TZephron::ExtractPatcher() {
  // The patcher travels beside the updater rather than inside it; an engine
  // that carries one as a program resource writes it out here.
}

bool TZephron::RunAndWait(const std::string& CommandLine, bool ShowWindow, bool ShowAnimation,
                          const std::string& StatusCaption, const std::string& StatusMessage) {
  DoStatus(msgNoText, "Exec: " + CommandLine, 18, 0);
  std::unique_ptr<ui::AnimationWindow> animation;
  if (ShowAnimation) animation = Dialogs().ShowAnimation(StatusCaption, StatusMessage);
  const auto exitCode = platform::StartAndWait(
      CommandLine, ShowWindow ? platform::WindowState::ShownNormally : platform::WindowState::Hidden);
  if (!exitCode) return false;
  if (*exitCode != 0) {
    platform::SetLastSystemError(*exitCode + kExitCodeErrorBase);
    return false;
  }
  return true;
}

}  // namespace zephron
