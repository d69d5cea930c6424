// File retrieval: URLGetFile over HTTP, FTP and file paths, the local copy,
// the temporary download file, the login prompt, progress, cancellation and
// the unpacking of what was fetched.
//
// Every retrieval goes through a temporary file in the download folder that
// replaces the target only after a complete transfer, so a cut-off,
// cancelled or failed transfer leaves the target as it was.
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "archive/base64.h"
#include "archive/cabinet.h"
#include "archive/expand_compressed_file.h"
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/last_error.h"
#include "platform/paths.h"
#include "transfer/messages.h"

namespace zephron {

namespace fs = std::filesystem;
using namespace transfer;

namespace {

constexpr std::size_t kInternetBlock = 4096;
constexpr std::size_t kLocalBlock = 32768;
constexpr std::uint32_t kErrorInvalidName = 123;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The download's temporary file, "ZEP" + a hexadecimal number + ".tmp",
// created exclusively (GetTempFileNameW with the prefix "ZEPH" and unique
// number 0). Removed when it goes unless it was moved into place.
class TempFile {
 public:
  // bufferSize 0: every Write goes straight to the file (local copies write
  // whole 32 KiB blocks; network blocks of 4 KiB are gathered).
  static std::optional<TempFile> Create(const std::string& folder, std::size_t bufferSize) {
    const auto ticks = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned number = (ticks & 0xFFFFu) == 0 ? 1 : (ticks & 0xFFFFu);
    for (unsigned attempt = 0; attempt < 0xFFFFu; ++attempt) {
      char name[16];
      std::snprintf(name, sizeof name, "ZEP%X.tmp", number);
      const std::string path = folder + name;
      // "x": the name must be new, as the platform call guarantees.
      if (std::FILE* file = std::fopen(path.c_str(), "wbx")) {
        if (bufferSize == 0) {
          std::setvbuf(file, nullptr, _IONBF, 0);
        } else {
          std::setvbuf(file, nullptr, _IOFBF, bufferSize);
        }
        return TempFile(path, FilePtr(file));
      }
      if (errno != EEXIST) return std::nullopt;
      number = number == 0xFFFFu ? 1 : number + 1;
    }
    return std::nullopt;
  }

  TempFile(TempFile&&) = default;
  TempFile& operator=(TempFile&&) = default;
  ~TempFile() {
    file_.reset();
    if (!path_.empty() && !kept_) platform::DeleteFile(path_);
  }

  const std::string& path() const { return path_; }
  bool Write(std::span<const std::byte> bytes) {
    return file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
  }
  bool Close() {
    if (!file_) return true;
    return std::fclose(file_.release()) == 0;
  }
  // Deletes it now; false when that fails.
  bool Delete() {
    Close();
    kept_ = true;
    return platform::DeleteFile(path_) || !fs::exists(path_);
  }
  // It has been moved onto its target: nothing to clean up any more.
  void Release() { kept_ = true; }

 private:
  TempFile(std::string path, FilePtr file) : path_(std::move(path)), file_(std::move(file)) {}
  std::string path_;
  FilePtr file_;
  bool kept_ = false;
};

// Removes a file; a read-only one gets its write permission back and is
// tried again (clearing the read-only and hidden attributes).
bool DeleteExisting(const std::string& path) {
  if (!fs::exists(fs::symlink_status(path))) return true;
  if (platform::DeleteFile(path)) return true;
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  return platform::DeleteFile(path);
}

// MoveFileW: never onto an existing name; across file systems by copying.
bool MoveFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(to, ec))) return false;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link) return false;
  if (!fs::copy_file(from, to, fs::copy_options::none, ec)) {
    fs::remove(to, ec);
    return false;
  }
  fs::remove(from, ec);
  return true;
}

// A name taken from a URL may only name a file inside the target folder.
bool IsSafeFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool TZephron::URLGetFile(const HInternet& hfile, const std::string& url, bool uncompress, const std::string& tgt) {
  DoStatus(msgDownload, url, 3, 0);
  const std::string name = URLtoFile(url);
  const std::string folder = platform::ToSlashes(tgt);

  // A name that is empty, "." or ".." or holds a separator would make the
  // download replace a folder or land outside the target folder.
  const auto refuseName = [&] {
    platform::SetLastSystemError(kErrorInvalidName,
                                 "The filename, directory name, or volume label syntax is incorrect.");
    Error();
    DoStatus(msgFileNotFound, url, 2, 1);
    return false;
  };

  if (UpdateType == fileUpdate) {
    const bool tgtNamesFile = !platform::ExtractFileName(folder).empty();
    if (!tgtNamesFile && !IsSafeFileName(name)) return refuseName();
    const std::string target = tgtNamesFile ? folder : folder + name;
    if (!CopyLocalFile(url, target)) return false;
    CustomProcess(target);
    const bool cabinet = UpperCase(target).find(".CAB") != std::string::npos;
    if (uncompress && !cabinet) ExpandCompressedFile(target);
    if (uncompress && cabinet) {
      DoStatus(msgExtractCab, target, 3, 0);
      ExtractCabinet(target, platform::ExtractFilePath(folder.empty() ? target : folder));
      if (!KeepIntermediateFiles) platform::DeleteFile(target);
    }
    return true;
  }

  const std::string location = MakeProxyUrl(url, ProxyUserID, ProxyPassword);
  HInternet request;
  std::uint32_t size = 0;

  if (UpdateType == httpUpdate) {
    std::uint32_t flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (HTTPKeepAliveAuthentication) flags |= INTERNET_FLAG_KEEP_CONNECTION;
    if (ExistingConnection) flags |= INTERNET_FLAG_EXISTING_CONNECT;
    if (CertCheck == ccDisable) flags |= INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
    const std::string caption = "Connect to " + URLToDomain(location);

    if (Authenticate == zaAlways && (UserID.empty() || Password.empty())) {
      if (!ShowLoginDialog(caption, UserID, Password)) {
        DoStatus(msgAuthenticationCancelled, "", 0, 0);
        return false;
      }
    }
    for (;;) {
      std::string header;
      if (!UserID.empty() || !Password.empty()) {
        header = "Authorization: Basic " + Base64Encode(UserID + ":" + Password) + "\r\n\r\n";
      }
      request = InternetOpenUrlW(hfile, location, header, flags, 0);
      if (!request) break;
      std::uint32_t status = 0;
      HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status);
      if (status == 401 && Authenticate == zaAuto) {
        InternetCloseHandle(request);
        if (ShowLoginDialog(caption, UserID, Password)) continue;
        DoStatus(msgAuthenticationCancelled, "", 0, 0);
        return false;
      }
      if (status >= 300) {
        InternetCloseHandle(request);
        DoStatus(msgHttpStatus, std::to_string(status), 6, static_cast<int>(status));
        return false;
      }
      break;
    }
  } else {
    if (!FTPDirectory.empty() && !FFTPDirSet) {
      const std::string dir = ExpandPrefixes(FTPDirectory);
      DoStatus(msgChangeFtpDirectory, dir, 3, 0);
      if (!FtpSetCurrentDirectoryW(hfile, dir)) DoStatus(msgCannotChangeFtpDirectory, dir, 3, 8);
      FFTPDirSet = true;
    }
    WIN32_FIND_DATAW entry;
    HInternet search = FtpFindFirstFileW(hfile, name, entry, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (search) {
      size = entry.nFileSizeLow;
      InternetCloseHandle(search);
    }
    request = FtpOpenFileW(hfile, name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  }

  if (!request) {
    Error();
    DoStatus(msgFileNotFound, url, 2, 1);
    return false;
  }

  const std::string targetName = URLtoFile(location);
  if (!IsSafeFileName(targetName)) {
    InternetCloseHandle(request);
    return refuseName();
  }
  const std::string target = folder + targetName;
  std::optional<TempFile> temp = TempFile::Create(platform::IncludeTrailingPathDelimiter(
      platform::ToSlashes(UseWinTempDir ? WinTempDir() : (TempDirectory.empty() ? "." : TempDirectory))), 1 << 16);
  if (!temp) {
    InternetCloseHandle(request);
    return false;
  }
  if (UpdateType == httpUpdate) {
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, size)) size = 0;
  }

  bool cancel = FCancelled;
  bool error = false;
  bool result = false;
  std::uint32_t total = 0;
  std::array<std::byte, kInternetBlock> block;
  std::uint32_t read = 0;
  do {
    Dialogs().ProcessMessages();
    if (!InternetReadFile(request, block, read)) {
      error = true;
      break;
    }
    if (read > 0 && !temp->Write(std::span(block).first(read))) {
      platform::SetLastSystemError(112);
      error = true;
      break;
    }
    total += read;
    DoFileProgress(target, static_cast<int>(total), static_cast<int>(size));
    cancel = FCancelled;
    DoProgressCancel(cancel);
    if (read > 0) result = true;
  } while (read > 0 && !cancel);

  InternetCloseHandle(request);
  if (!temp->Close() && !error && !cancel) {
    platform::SetLastSystemError(112);
    error = true;
  }
  FCancelled = cancel;

  if (cancel || error) {
    // A transfer that broke off says why: the server cut it, it timed out,
    // the disk is full.
    if (error) Error();
    if (!temp->Delete()) WriteLogLine("Unable to delete file " + temp->path());
    return false;
  }

  if (!DeleteExisting(target)) {
    result = false;
    DoStatus(msgCannotDeleteFile, target, 19, 6);
    WriteLogLine("Unable to delete file " + target);
  }
  if (MoveFile(temp->path(), target)) {
    temp->Release();
  } else {
    result = false;
    DoStatus(msgCannotRenameFile, temp->path() + " to " + target, 19, 7);
    WriteLogLine("Unable to rename file " + temp->path() + " to " + target);
  }

  CustomProcess(target);
  if (uncompress) {
    if (UpperCase(fs::path(target).extension().string()) != ".CAB") {
      ExpandCompressedFile(target);
    } else {
      ExtractCabinet(target, folder);
      if (!KeepIntermediateFiles) platform::DeleteFile(target);
    }
  }
  return result;
}

bool TZephron::CopyLocalFile(const std::string& source, const std::string& target) {
  const std::string from = platform::ToSlashes(source);
  const std::string to = platform::ToSlashes(target);
  if (from == to) {
    DoStatus(msgEqualSourceTarget, source, 10, 3);
    return false;
  }
  std::error_code ec;
  FilePtr in(fs::is_directory(from, ec) ? nullptr : std::fopen(from.c_str(), "rb"));
  if (!in) {
    DoStatus(msgLocalFileNotFound, source, 2, 1);
    return false;
  }
  if (std::fseek(in.get(), 0, SEEK_END) != 0) {
    DoStatus(msgZeroLengthSource, source, 10, 2);
    return false;
  }
  const long length = std::ftell(in.get());
  if (length < 0) {
    DoStatus(msgZeroLengthSource, source, 10, 2);
    return false;
  }
  std::fseek(in.get(), 0, SEEK_SET);
  std::setvbuf(in.get(), nullptr, _IONBF, 0);

  std::optional<TempFile> temp = TempFile::Create(platform::IncludeTrailingPathDelimiter(
      platform::ToSlashes(UseWinTempDir ? WinTempDir() : (TempDirectory.empty() ? "." : TempDirectory))), 0);
  if (!temp) return false;

  bool cancel = false;
  bool failed = false;
  std::uint32_t total = 0;
  std::vector<std::byte> block(kLocalBlock);
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), in.get());
    if (got < block.size() && std::ferror(in.get())) {
      failed = true;
      break;
    }
    if (got > 0 && !temp->Write(std::span(block).first(got))) {
      failed = true;
      break;
    }
    total += static_cast<std::uint32_t>(got);
    DoFileProgress(source, static_cast<int>(total), static_cast<int>(length));
    DoProgressCancel(cancel);
    Dialogs().ProcessMessages();
    if (got == 0 || cancel) break;
  }
  in.reset();
  if (!temp->Close()) failed = true;
  FCancelled = cancel;
  if (cancel || failed) return false;  // the temporary file goes with `temp`

  if (!DeleteExisting(to)) {
    DoStatus(msgCannotDeleteFile, target, 19, 6);
    WriteLogLine("Unable to delete file " + target);
    return false;  // the temporary file goes with `temp`
  }
  if (!MoveFile(temp->path(), to)) return false;
  temp->Release();
  return true;
}

bool TZephron::ShowLoginDialog(const std::string& caption, std::string& user, std::string& password) {
  return Dialogs().LoginDialog(caption, user, password);
}

void TZephron::DoFileProgress(const std::string& FileName, int Pos, int Size) {
  if (FProgressForm) {
    FProgressForm->SetRange(0, Size);
    FProgressForm->SetPosition(Pos);
    FProgressForm->SetLabel("Downloading: " + platform::ExtractFileName(FileName));
  }
  if (OnFileProgress) OnFileProgress(*this, FileName, Pos, Size);
}

void TZephron::DoProgressCancel(bool& Cancel) {
  if (OnProgressCancel) OnProgressCancel(*this, Cancel);
  if (Cancel) DoStatus(msgProcessCancelled, "", 0, 0);
}

void TZephron::CustomProcess(const std::string& FileName) {
  if (OnFileDownloaded) OnFileDownloaded(*this, FileName);
}

}  // namespace zephron
