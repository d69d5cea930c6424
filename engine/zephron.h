// TZephron, the update engine: a non-visual component that a host configures
// with properties and events, and the types it shares with its hosts (file
// list, persisted-location settings, post-update settings, patcher window
// settings, file version record, enumerations).
//
// The implementation is split by concern: zephron.cpp (object model),
// status.cpp (status reports and the engine log), and one file for each
// further concern as it is added.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/update_date.h"
#include "platform/date_time.h"
#include "transfer/internet.h"
#include "ui/dialogs.h"

namespace zephron {

class TZephron;

enum TZephronType { ftpUpdate, httpUpdate, fileUpdate };
enum TZephronConnect {
  zpcNoConnect,
  zpcConnectPrompt,
  zpcConnectSilent,
  zpcConnectPromptHangup,
  zpcConnectSilentHangup,
  zpcNone
};
enum TZephronUpdate { zpuPromptOnce, zpuPromptAll, zpuSilent };
enum TZephronAuthentication { zaAlways, zaAuto, zaNever };
enum TZephronVersionCheck { vcUpdateOnly, vcAlways };
enum TZephronCertCheck { ccEnable, ccDisable };
enum TLastURLReg { lurLOCALUSER, lurLOCALMACHINE };

using TDateTime = platform::TDateTime;

// The one failure the engine does not absorb into a result code: a {LAD}
// prefix when the local application-data folder cannot be found. It leaves
// the engine operation that expanded the prefix; hosts catch it once per pass.
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// File version record: major/minor in versionms, release/build in versionls,
// 16 bits each. (-1, -1) means "no version".
struct tfvi {
  std::int32_t versionms = -1;
  std::int32_t versionls = -1;
  bool operator==(const tfvi&) const = default;
};

// Registry place of the persisted update state ("LastURL", "LastDate", "LastTime").
struct TLastURLEntry {
  bool Save = false;
  std::string Key;
  std::string Section;
  TLastURLReg RegRoot = lurLOCALUSER;
};

// The post-update request: form data posted to port 80 of Server.
struct TPostUpdateInfo {
  std::string Server;
  std::string Action;
  std::string Data;        // 8-bit body, sent byte for byte
  bool Enabled = false;
  std::string PostResult;  // response body of the last request (public, not published)
};

// One file entry of the control file.
struct TFileDescription {
  bool Compressed = false;
  std::int32_t NewCheckSum = -1;
  std::int32_t NewSize = 0;
  std::string URL;
  std::string TargetDir;
  std::string LocalVersion;
  std::string NewVersion;
  std::string Description;
  std::string NewCustomVer;
  std::int32_t FileSize = 0;
  std::string NewDate;
  std::string NewTime;
  bool Mandatory = false;
  bool Preselect = true;
  bool Hidden = false;
  bool Selected = false;  // for the host; the engine never reads it
  std::string Sha256;     // digest of the published file, checked when a PublicKey is set
};

// The file entries of the control file, in control-file order.
class TFileList {
 public:
  int ActiveItem = 0;  // index (from 0) of the file being downloaded

  int Count() const { return static_cast<int>(items_.size()); }
  TFileDescription& Items(int index) { return items_.at(static_cast<std::size_t>(index)); }
  const TFileDescription& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  TFileDescription& Add();
  TFileDescription& Insert(int index);
  void Delete(int index);
  void Clear() { items_.clear(); }

  // 32-bit signed sums of FileSize: over all items, and over the items before ActiveItem.
  std::int32_t TotalSize() const;
  std::int32_t CompletedSize() const;

 private:
  std::vector<TFileDescription> items_;
};

// Settings of the patcher's window. The engine refers to one without owning
// it; destroying it clears every engine's reference.
class TZephronUtility {
 public:
  TZephronUtility() = default;
  TZephronUtility(const TZephronUtility&) = delete;
  TZephronUtility& operator=(const TZephronUtility&) = delete;
  ~TZephronUtility();

  bool ShowWindow = false;
  bool ShowAnimation = false;
  std::string StatusMessage;
  std::string StatusCaption;

 private:
  friend class TZephron;
  std::vector<TZephron*> referrers_;
};

// Event types: the first argument is the engine that raises the event; the
// reference arguments are results the handler may change.
using TZephronStatus = std::function<void(TZephron& Sender, const std::string& StatusStr, int StatusCode, int ErrCode)>;
using TZephronFileProgress = std::function<void(TZephron& Sender, const std::string& FileName, int Pos, int Size)>;
using TZephronProgressCancel = std::function<void(TZephron& Sender, bool& Cancel)>;
using TZephronFileDownloaded = std::function<void(TZephron& Sender, const std::string& FileName)>;
using TZephronBeforeDownload =
    std::function<void(TZephron& Sender, int FileIdx, const std::string& FileDescription, std::string& URL)>;
using TZephronFileVersionCheck = std::function<void(TZephron& Sender, const std::string& NewVersion,
                                                    const std::string& LocalVersion, bool& IsNew)>;
using TZephronFileList = std::function<void(TZephron& Sender, std::vector<std::string>& List)>;
using TZephronCustomValidate =
    std::function<void(TZephron& Sender, const std::string& Msg, const std::string& Param, bool& Allow)>;
using TZephronCustomProcess = std::function<void(TZephron& Sender, const std::string& Msg, const std::string& Param)>;
using TZephronSetParams = std::function<void(TZephron& Sender, std::string& AppParams)>;
using TZephronConvertPrefix = std::function<void(TZephron& Sender, std::string& Path)>;
using TZephronFileNameFromURL = std::function<void(TZephron& Sender, const std::string& URL, std::string& FName)>;
using TZephronTextDownloaded = std::function<void(TZephron& Sender, std::vector<std::string>& Text, int& Res)>;
using TZephronBeforePost = std::function<void(TZephron& Sender, bool& AllowPost)>;
using TZephronProcessPostResult = std::function<void(TZephron& Sender, bool& AllowPostResult)>;
using TZephronRestart = std::function<void(TZephron& Sender, bool& Allow)>;
using TZephronEvent = std::function<void(TZephron& Sender)>;
using TZephronThreadDone = std::function<void(TZephron& Sender)>;
using TNotifyEvent = std::function<void(TZephron& Sender)>;
using TZephronProgress = std::function<void(TZephron& Sender, const std::string& Action)>;

// The simple checksum of a file: -1 plus every byte (0-255), in 32-bit
// two's-complement arithmetic, so large files wrap instead of failing. A file
// that cannot be read contributes nothing.
std::int32_t SimpleChecksum(const std::string& path);

// Text is rich text when its first five bytes, upper-cased, are "{\RTF".
bool IsRTFStream(std::string_view bytes);
// A text as a string list loads it (CR LF, LF or CR end a line; a last line
// needs no line end; a UTF-8 byte-order mark is dropped), and saves it (each
// line followed by CR LF).
std::vector<std::string> TextToLines(std::string_view bytes);
std::string LinesToText(const std::vector<std::string>& lines);

// The engine log file name shared by every engine of the process; setting an
// engine's LogFileName sets it.
std::string EngineLogPath();
void SetEngineLogPath(std::string path);
// The file the engine log goes to: EngineLogPath itself when it holds "\", "/"
// or ":", else that name in the user's documents folder.
std::string EngineLogFile();

class TZephron {
 public:
  TZephron();
  TZephron(const TZephron&) = delete;
  TZephron& operator=(const TZephron&) = delete;
  virtual ~TZephron();

  // ---- Published properties ----
  std::string Agent = "TZephron";
  bool ApplyPatch = false;
  TZephronAuthentication Authenticate = zaNever;
  TZephronCertCheck CertCheck = ccEnable;
  std::string DateFormat = "dd/mm/yyyy";
  char DateSeparator = '/';
  bool ExtractCAB = false;
  bool ExistingConnection = false;
  bool ForceUpdate = false;
  std::string FTPDirectory;
  bool FTPPassive = false;
  std::string Host;
  bool HTTPKeepAliveAuthentication = false;
  bool KeepIntermediateFiles = false;
  std::string LanguageID;
  bool Logging = false;
  TLastURLEntry LastURLEntry;
  std::string Password;
  int Port = 21;
  TPostUpdateInfo PostUpdateInfo;
  std::string Proxy;
  std::string ProxyUserID;
  std::string ProxyPassword;
  // Base64 Ed25519 key of the maker: with one, a control file is taken only
  // with a valid signature file beside it, not older than the last one taken
  // and not expired, and downloads must match their `sha256` digests.
  std::string PublicKey;
  bool ShowDownloadProgress = false;
  std::string Signature = "Zephron";
  bool SignatureCheck = false;
  std::string TempDirectory = ".";
  std::string TimeFormat = "hh:nn";
  int TimeOut = 0;
  int ReceiveTimeOut = 0;
  char TimeSeparator = ':';
  TZephronType UpdateType = httpUpdate;
  TZephronConnect UpdateConnect = zpcNoConnect;
  TZephronUpdate UpdateUpdate = zpuPromptOnce;
  std::string URL;
  std::string UserID;
  bool UseCRC32 = false;
  bool UseWinTempDir = true;
  TZephronVersionCheck VersionCheck = vcUpdateOnly;

  // LogFileName: setting it also sets the process-wide EngineLogPath.
  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(std::string name);

  // Utility: referred to, not owned.
  TZephronUtility* Utility() const { return FUtility; }
  void SetUtility(TZephronUtility* utility);

  // Version: the engine's own version; writes are ignored.
  std::string Version() const { return "2.2.0.2"; }
  void SetVersion(const std::string&) {}

  // The dialogs the engine opens (message boxes, login prompt); the console's
  // unless the host sets its own. Not owned.
  ui::Dialogs& Dialogs() const;
  void SetDialogs(ui::Dialogs* dialogs) { FDialogs = dialogs; }

  // ---- Events ----
  TZephronStatus OnStatus;
  TZephronFileProgress OnFileProgress;
  TZephronProgressCancel OnProgressCancel;
  TZephronFileDownloaded OnFileDownloaded;
  TZephronBeforeDownload OnBeforeFileDownload;
  TZephronFileVersionCheck OnFileVersionCheck;
  TZephronFileList OnGetFileList;
  TZephronCustomValidate OnCustomValidate;
  TZephronCustomProcess OnCustomProcess;
  TZephronSetParams OnSetAppParams;
  TZephronSetParams OnSetAppParamBefore;
  TZephronSetParams OnSetAppParamAfter;
  TZephronConvertPrefix OnConvertPrefix;
  TZephronFileNameFromURL OnFileNameFromURL;
  TZephronTextDownloaded OnDownloadedWhatsNew;
  TZephronTextDownloaded OnDownloadedEULA;
  TZephronBeforePost OnBeforePost;
  TZephronProcessPostResult OnProcessPostResult;
  TZephronRestart OnAppRestart;
  TZephronEvent OnAppDoClose;
  TZephronThreadDone OnThreadUpdateDone;
  TNotifyEvent OnSuccess;
  TZephronProgress OnProgress;  // stored, never fired

  // ---- Public read-only properties ----
  const std::string& ControlFileName() const { return FControlFileName; }
  TDateTime NewVersionDate() const { return FNewVersionDate; }
  TDateTime CurVersionDate() const { return FCurVersionDate; }
  const std::string& NewVersionInfo() const { return FNewVersionInfo; }
  const std::string& CurVersionInfo() const { return FCurVersionInfo; }
  const std::string& UpdateDescription() const { return FUpdateDescription; }
  TFileList& FileList() { return FFileList; }
  const TFileList& FileList() const { return FFileList; }
  bool Cancelled() const { return FCancelled; }
  bool InProgress() const { return FInProgress; }
  bool AppNeedsRestart() const { return FAppClose && !FCancelled && FAppCompsIncluded; }
  bool AppSilentRestart() const { return FAppSilentRestart; }
  // The open connection retrievals use (connection.cpp).
  const transfer::HInternet& HintConnect() const { return FHintConnect; }

  // ---- Operations ----
  void Cancel() { FCancelled = true; }

  // The file version from FileName's version resource, (-1, -1) when it has none.
  tfvi GetFileVersion(const std::string& FileName) const;

  // The download folder: the system temporary folder with UseWinTempDir,
  // else TempDirectory; always with a trailing separator.
  std::string WinTempDir() const;

  // Directory prefixes of control-file values (prefixes.cpp): fires
  // OnConvertPrefix, then replaces each {NAME} by ConvertPrefix(NAME in upper
  // case). Separators written in the text stay as written. Throws EngineError
  // for {LAD} without a local application-data folder.
  std::string ExpandPrefixes(std::string Path);
  // The folder of a prefix name, normalised to end in "/." (NormalisePrefixFolder).
  virtual std::string ConvertPrefix(const std::string& prefix);

  // Locations (urls.cpp): the download's file name (fires OnFileNameFromURL),
  // the host text of the login prompt, proxy credentials in an HTTP URL.
  std::string URLtoFile(const std::string& URL);
  std::string URLToDomain(const std::string& URL) const;
  std::string MakeProxyUrl(const std::string& url, const std::string& proxyuser, const std::string& proxypwd) const;

  // Retrieval (retrieval.cpp): fetches url into the folder tgt (for
  // fileUpdate also a full target path) through a temporary file in the
  // download folder; true when the file is in place.
  bool URLGetFile(const transfer::HInternet& hfile, const std::string& url, bool uncompress, const std::string& tgt);
  bool CopyLocalFile(const std::string& source, const std::string& target);
  bool ShowLoginDialog(const std::string& caption, std::string& user, std::string& password);
  virtual void DoFileProgress(const std::string& FileName, int Pos, int Size);
  virtual void DoProgressCancel(bool& Cancel);
  virtual void CustomProcess(const std::string& FileName);

  // Connections (connection.cpp): StartConnection 0 ready, 1 offline with
  // zpcNoConnect, 2 no Internet handle, 3 dial-up failed; FTPConnect 0 or -1;
  // StopConnection always 0.
  virtual int StartConnection();
  virtual int StopConnection();
  virtual int FTPConnect();
  bool Connected() const;
  int ConnectionType() const;
  void HangUp();

  // The post-update request and the persisted location (posting.cpp).
  void DoPostUpdateInfo();
  std::string URLGet();
  void URLPut(const std::string& url);

  // The version check (version_check.cpp). GetControlFile: 0 found, 4 not
  // found, 5 bad signature; DoVersionCheck: 6 date, 7 nothing new,
  // 8 unconditional, 9 size, 10 checksum, 11 version, 12 OnCustomValidate.
  virtual std::string GetControlFileURL();
  virtual int GetControlFile();
  virtual int DoVersionCheck();
  // After a version comparison NewVersion and LocalFile hold the two versions in dotted form.
  virtual bool FileNeedsUpdate(std::string& NewVersion, std::string& LocalFile, std::int32_t NewChecksum,
                               std::int32_t NewSize);
  bool NewVersionAvailable(bool InitPath);
  std::optional<std::vector<std::string>> NewWhatsNew(bool showdialog);

  // Release dates (update_date.cpp): the control file's date in the engine's
  // formats; the installed release's date in the registry place of
  // LastURLEntry, stored in kStoredDateFormat.
  DateTimeFormat EngineDateFormat() const;
  TDateTime ParseUpdateDate(const std::string& date, const std::string& time) const;
  TDateTime UpdateDateGet();
  void UpdateDatePut(TDateTime d);

  // What's-new and agreement texts (texts.cpp); a stream is the text's bytes.
  virtual std::optional<std::vector<std::string>> GetWhatsNew();
  virtual std::optional<std::string> GetWhatsNewStream();
  virtual std::optional<std::vector<std::string>> GetEULA();
  virtual std::optional<std::string> GetEULAStream();
  std::optional<std::vector<std::string>> DownloadTextFile(const std::string& url);
  std::optional<std::string> DownloadStream(const std::string& url);

  // Their dialogs (text_dialogs.cpp): 0 accepted, -1 not accepted. The
  // what's-new dialog gives way to OnDownloadedWhatsNew for plain text, the
  // agreement dialog to OnDownloadedEULA for rich text.
  virtual int ShowWhatsNewDialog(const std::string& Stream);
  virtual int ShowEULADialog(const std::string& Stream);
  // The local HTML page in a modal dialog; a missing page shows nothing.
  void ShowHTMLDialog(const std::string& page);

  // File update selection and installation (file_update.cpp): the control
  // file's entries (their count), the ones still needed (0, or -1 when none
  // is left) and their download and installation (0, or -1 when a download
  // failed).
  int GetFileDetails();
  int ProcessFileDetails();
  int GetFileUpdates();
  // Creates the folder and its missing parents; an empty path succeeds.
  bool ForceDirectory(const std::string& path);
  // Writes the patcher out of the program's resources, where it carries one.
  virtual void ExtractPatcher();
  // Runs the command line and waits for it: true for exit code 0; another
  // exit code gives false with the code + 8192 as the last error.
  bool RunAndWait(const std::string& CommandLine, bool ShowWindow, bool ShowAnimation,
                  const std::string& StatusCaption, const std::string& StatusMessage);

  // Update execution (update_run.cpp). DoUpdate runs the whole update
  // (InitPath: in the program's folder; without argument true);
  // DoThreadUpdate runs it on a worker thread and then ThreadDone on the
  // host's main thread (ui/main_thread.h), where an exception of the run is
  // raised again. DoRestart hands the files in use to the setup program and
  // asks the host to end (OnAppDoClose, else the main thread's Quit).
  void DoUpdate();
  void DoUpdate(bool InitPath);
  void DoThreadUpdate();
  void DoThreadUpdate(bool InitPath);
  void DoRestart();
  void DoSuccess();
  virtual void ExtractSetupProgram();
  // The environment for the log: the kernel and the distribution, the
  // browser's version value, the compiler (none) and the development
  // environments found in the registry (codes of update_run.cpp's table).
  virtual std::string GetOSVersion();
  virtual std::string GetIEVersion();
  virtual std::string GetIDE();
  virtual std::string GetInstalledIDEs();

  // The control file's actions (actions.cpp): before the downloads (0 go
  // on, -1 stop) and after them.
  int HandleActions();
  int UpdateActions();
  virtual void DoSetAppParamBefore(std::string& AppParams);
  virtual void DoSetAppParamAfter(std::string& AppParams);

  // Status reports and the engine log.
  virtual void DoStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode);
  void AddToLog(const std::string& Text);
  void WriteLogLine(const std::string& Text);
  void Error();

  // Component notification: the Utility the engine refers to is going away.
  virtual void Notification(TZephronUtility& removed);

 protected:
  // The setup program's command line (the process, the log flag, the
  // program to restart with its parameter, the download folder, the
  // components); quotes the stored FAppParam when it holds a blank.
  std::string RestartParameters();
  void ThreadDone();

  // One downloaded file put in place: moved, expanded, extracted or patched.
  // False when a plain file could not be put in place (reported).
  bool InstallDownloadedFile(const TFileDescription& entry, const std::string& folder, const std::string& name);
  // A program of the actions, started through the shell and not waited for.
  void StartActionProgram(const std::string& path, const std::string& parameters);

  // ---- Shared state, in declaration order ----
  transfer::HInternet FHint;         // Internet handle
  transfer::HInternet FHintConnect;  // handle retrievals use
  bool FDialed = false;
  bool FSaveUpdate = false;      // the persisted date was read, so it is written back
  std::string FControlFileName;
  bool FThreaded = false;
  std::string FAppName;
  std::string FAppParam;
  std::string FAppComps;
  bool FAppCompsIncluded = false;
  bool FAppClose = false;
  bool FAppSilentRestart = false;
  bool FFTPDirSet = false;
  std::string FLocalFileDateCheck;
  bool FCancelled = false;
  bool FInProgress = false;
  std::unique_ptr<ui::ProgressWindow> FProgressForm;  // the download progress window while it exists
  std::string FProgressFileName;                      // the file the progress label was made for
  std::string FProgressLabel;                         // and that label
  std::thread FThread;                // the worker of a threaded update
  std::exception_ptr FThreadError;    // what left the worker's run

  std::string FLogFileName;
  TZephronUtility* FUtility = nullptr;
  ui::Dialogs* FDialogs = nullptr;
  TFileList FFileList;
  TDateTime FNewVersionDate = 0;
  TDateTime FCurVersionDate = 0;
  std::string FNewVersionInfo;
  std::string FCurVersionInfo;
  std::string FUpdateDescription;

 public:
  // Bounds of the files the engine reads itself: a control file larger than
  // ControlFileSizeLimit bytes, a what's-new or agreement text larger than
  // TextFileSizeLimit, or either taking longer than TransferTimeLimit ms,
  // fails its transfer.
  std::uint64_t ControlFileSizeLimit = 4u << 20;
  std::uint64_t TextFileSizeLimit = 16u << 20;
  int TransferTimeLimit = 300000;
  // URLGetFile of such a file into the download folder, within those bounds (retrieval.cpp).
  bool URLGetBoundedFile(const std::string& url, std::uint64_t sizeLimit);

  // Signed publications (control_signature.cpp): the `published` time of
  // the last control file taken, in LastURLEntry's place when it has one,
  // else under HKCU Software\Corvexis\Zephron\Published, one value per
  // control-file name; none before the first.
  std::optional<std::int64_t> AcceptedPublishedGet();
  void AcceptedPublishedPut(std::int64_t published);

 protected:
  struct TTransferBound {
    std::uint64_t size = 0;
    std::int64_t deadlineMs = 0;  // on the steady clock
  };
  std::optional<TTransferBound> FTransferBound;      // set while URLGetBoundedFile runs
  std::optional<std::string> FExpectedDigest;        // what the file being fetched must hash to
  bool FDigestRefused = false;                       // a fetched file did not match its digest
  mutable std::string FPrivateFolder;                // the download folder made private to the user

  // The signature, age and expiry of the downloaded control file fetched
  // from url: 0 when it may be read, else 5 (reported, and the file deleted).
  int VerifyControlFile(const std::string& url);
  // Whether the fetched file at path hashes to FExpectedDigest (when one is
  // expected); a mismatch is reported for what.
  bool DigestHolds(const std::string& path, const std::string& what);
  // A text of the control file, checked against sha256 when a key is set.
  std::optional<std::string> DownloadCheckedStream(const std::string& url, const std::string& sha256);
  // The system temporary folder's subfolder that only this user can enter.
  std::string PrivateDownloadFolder() const;
  std::vector<std::string> FCleanedTempFolders;       // download folders already rid of stale files
  std::vector<std::string> FWrittenFolders;           // folders this pass fetched files into, flushed at its end
};

}  // namespace zephron
