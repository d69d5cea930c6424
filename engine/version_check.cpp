// The version check: fetching and reading the control file, comparing by
// date, checksum, size or version, and the yes-or-no answer for hosts.
#include <array>
#include <filesystem>
#include <fstream>

#include "archive/crc32.h"
#include "engine/control_file.h"
#include "engine/update_date.h"
#include "engine/version.h"
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/special_folders.h"
#include "transfer/messages.h"

namespace zephron {

namespace {

constexpr std::string_view kUpdate = "update";

// The size of a file that can be opened, else -1.
std::int64_t LocalFileSize(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return -1;
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

std::int32_t SimpleChecksum(const std::string& path) {
  std::uint32_t sum = 0xFFFFFFFFu;  // -1
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  std::array<char, 4096> block;
  for (;;) {
    in.read(block.data(), block.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) sum += static_cast<unsigned char>(block[i]);
    if (got < block.size()) break;
  }
  return static_cast<std::int32_t>(sum);
}

std::string TZephron::GetControlFileURL() {
  std::string url = URLGet();
  if (url.empty()) url = URL;
  return ExpandPrefixes(url);
}

int TZephron::GetControlFile() {
  FCancelled = false;
  const std::string url = GetControlFileURL();
  if (url.empty() || !URLGetBoundedFile(url, ControlFileSizeLimit)) {
    DoStatus(msgControlFileNotFound, "", 2, 0);
    return 4;
  }
  DoStatus(msgControlFileFound, "", 3, 0);
  FControlFileName = WinTempDir() + URLtoFile(url);
  if (!PublicKey.empty()) {
    if (const int refused = VerifyControlFile(url); refused != 0) return refused;
  }

  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  const PrefixExpander expand = EngineExpander(*this);
  int result = 0;
  if (SignatureCheck && ReadValue(file, kUpdate, "signature", "") != Signature) {
    DoStatus(msgInvalidSignature, "", 11, 4);
    result = 5;
  }
  constexpr std::string_view app = "application";
  FAppClose = file.ReadBool(app, "appupdate", false);
  FAppName = ReadLocalPath(file, app, "appname", expand);
  FAppParam = ReadValue(file, app, "appparam", "");
  if (FAppName.empty()) FAppClose = false;
  if (OnSetAppParams) OnSetAppParams(*this, FAppParam);
  if (FAppParam.empty()) FAppParam = " ";
  FAppComps = ReadPrefixed(file, app, "appcomps", expand);
  FAppSilentRestart = file.ReadBool(app, "silentrestart", false);
  return result;
}

int TZephron::DoVersionCheck() {
  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  int result = 7;

  // One engine checks one product after another: what an earlier check left
  // must not show up as this product's version or be stored as its date.
  FNewVersionInfo.clear();
  FCurVersionInfo.clear();
  FNewVersionDate = 0;
  FCurVersionDate = 0;
  FSaveUpdate = false;

  TUpdateSection update = ReadUpdateSection(file, EngineExpander(*this));
  FUpdateDescription = update.descr;

  if (!update.date.empty()) {
    DoStatus(msgDateBasedUpdate, "", 3, 0);
    FNewVersionDate = ParseUpdateDate(update.date, update.time);
    FLocalFileDateCheck = update.localversion;
    FCurVersionDate = UpdateDateGet();
    if (FCurVersionDate >= FNewVersionDate) {
      DoStatus(msgNoNewVersion, "", 4, 0);
    } else {
      DoStatus(msgNewVersionFound, FormatDateText(FNewVersionDate, EngineDateFormat()), 5, 0);
      result = 6;
    }
  }

  if (!update.unconditional.empty() && result == 7) result = 8;

  if (result == 7) {
    std::string& newVersion = update.newversion;
    std::string& localFile = update.localversion;
    if (!localFile.empty() && (!newVersion.empty() || update.newsize > 0 || update.newchecksum != -1)) {
      if (update.newchecksum != -1) {
        result = 10;
        DoStatus(msgChecksumBasedUpdate, "", 3, 0);
      } else if (update.newsize < 1) {
        result = 11;
        DoStatus(msgVersionBasedUpdate, "", 3, 0);
      } else {
        result = 9;
        DoStatus(msgSizeBasedUpdate, "", 3, 0);
      }
      if (FileNeedsUpdate(newVersion, localFile, update.newchecksum, update.newsize)) {
        DoStatus(msgNewVersionFound, newVersion, 5, 0);
      } else {
        DoStatus(msgNoNewVersion, "", 4, 0);
        result = 7;
      }
    }
    FNewVersionInfo = newVersion;
    FCurVersionInfo = localFile;
  }

  if (OnCustomValidate) {
    const TCustomSection custom = ReadCustomSection(file);
    bool allow = result != 7;
    OnCustomValidate(*this, custom.validatemsg, custom.validateparam, allow);
    result = allow ? 12 : 7;
  }
  return result;
}

bool TZephron::FileNeedsUpdate(std::string& NewVersion, std::string& LocalFile, std::int32_t NewChecksum,
                               std::int32_t NewSize) {
  if (NewVersion.empty() && NewSize == 0 && NewChecksum == -1) return true;
  const std::string path = platform::ToSlashes(LocalFile);
  const bool named = !LocalFile.empty() || VersionCheck == vcAlways;
  const bool present = platform::FileExists(path) || VersionCheck == vcUpdateOnly;
  if (!named || !present) return true;

  if (NewChecksum != -1) {
    const std::int32_t computed = UseCRC32 ? FileCRC32(path) : SimpleChecksum(path);
    DoStatus(msgVersionCheck,
             "Checksum compare of " + LocalFile + ":" + std::to_string(computed) + ":" + std::to_string(NewChecksum),
             3, 0);
    return computed != NewChecksum;
  }
  if (NewSize > 0) {
    const std::int64_t size = LocalFileSize(path);
    return size != NewSize && (size > 0 || VersionCheck == vcAlways);
  }

  const tfvi local = GetFileVersion(path);
  const tfvi next = ParseVersion(NewVersion);
  DoStatus(msgVersionCheck,
           "Version compare of " + LocalFile + ":" + VersionToStr(local) + " with " + NewVersion + ":" +
               VersionToStr(next),
           3, 0);
  const bool nextIsVersion = next.versionms != -1 && next.versionls != -1;
  const bool localIsVersion = local.versionms != -1 && local.versionls != -1;
  if (!nextIsVersion || !(localIsVersion || VersionCheck == vcAlways)) return false;
  LocalFile = VersionToStr(local);
  NewVersion = VersionToStr(next);
  return next.versionms > local.versionms ||
         (next.versionms == local.versionms && next.versionls > local.versionls);
}

bool TZephron::NewVersionAvailable(bool InitPath) {
  if (InitPath) {
    std::error_code ec;
    std::filesystem::current_path(platform::ProgramFolder(), ec);
  }
  FCancelled = false;
  if (StartConnection() != 0) return false;
  bool answer = false;
  try {
    if (UpdateType == ftpUpdate && FTPConnect() == -1) Error();
    if ((FHintConnect || UpdateType == fileUpdate) && GetControlFile() == 0) {
      const int code = DoVersionCheck();
      answer = code != 7;
      if (answer && OnDownloadedWhatsNew) {
        if (auto text = GetWhatsNew()) {
          int res = 1;
          OnDownloadedWhatsNew(*this, *text, res);
        }
      }
    }
  } catch (...) {
    // An EngineError ({LAD} without its folder) leaves the check; the
    // connection must not stay open behind it.
    StopConnection();
    throw;
  }
  StopConnection();
  return answer;
}

std::optional<std::vector<std::string>> TZephron::NewWhatsNew(bool showdialog) {
  if (StartConnection() != 0) return std::nullopt;
  std::optional<std::vector<std::string>> result;
  try {
    if (UpdateType == ftpUpdate && FTPConnect() == -1) Error();
    if ((FHintConnect || UpdateType == fileUpdate) && GetControlFile() == 0 && DoVersionCheck() != 7) {
      std::optional<std::string> stream = GetWhatsNewStream();
      if (stream && !stream->empty() && !IsRTFStream(*stream)) {
        std::vector<std::string> lines = TextToLines(*stream);
        if (!showdialog && OnDownloadedWhatsNew) {
          int res = 0;
          OnDownloadedWhatsNew(*this, lines, res);
        }
        *stream = LinesToText(lines);
        result = std::move(lines);
      }
    }
  } catch (...) {
    StopConnection();
    throw;
  }
  StopConnection();
  return result;
}

}  // namespace zephron
