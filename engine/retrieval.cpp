// File retrieval: URLGetFile over HTTP, FTP and file paths, the local copy,
// the temporary download file, the login prompt, progress, cancellation and
// the unpacking of what was fetched.
//
// Every retrieval goes through a temporary file in the download folder that
// replaces the target only after a complete transfer, so a cut-off,
// cancelled or failed transfer leaves the target as it was; and the
// replacement itself is atomic (never delete, then move).
//
// The files the engine reads itself (control file, texts) are fetched within
// bounds of size and time (URLGetBoundedFile): a bound passed ends the
// transfer as failed at once, without writing past it.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <limits>
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
#include "platform/ascii_case.h"
#include "platform/paths.h"
#include "platform/temp_file.h"
#include "platform/utf8_path.h"
#include "transfer/messages.h"

namespace zephron {

namespace fs = std::filesystem;
using namespace transfer;

namespace {

constexpr std::size_t kInternetBlock = 4096;
constexpr std::size_t kLocalBlock = 32768;
// What a download gathers of its blocks before writing them to its file.
constexpr std::size_t kWriteBuffer = 256 * 1024;
constexpr std::uint32_t kErrorInvalidName = 123;

constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorFileTooLarge = 223;
// Temporary files older than this in a download folder were left by a
// process that died; live ones are held by their writer's lock.
constexpr std::chrono::hours kStaleTempFileAge{24};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The download folder: where the control file and texts land and where
// every temporary file is made, so that moving one onto them is a rename.
std::string DownloadFolder(const TZephron& engine) { return platform::ToSlashes(engine.WinTempDir()); }

// Adds folder to folders unless it is there already; whether it was added.
bool AddOnce(std::vector<std::string>& folders, const std::string& folder) {
  if (std::find(folders.begin(), folders.end(), folder) != folders.end()) return false;
  folders.push_back(folder);
  return true;
}

// The temporary file of a retrieval; the first one in a folder also clears
// that folder of the temporary files killed processes left.
std::optional<platform::TempFile> NewTempFile(const std::string& folder, bool writeBack,
                                              std::vector<std::string>& cleaned) {
  if (AddOnce(cleaned, folder)) platform::RemoveStaleTempFiles(folder, kStaleTempFileAge);
  return platform::TempFile::Create(folder, writeBack);
}

// A name taken from a URL may only name a file inside the target folder.
bool IsSafeFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

bool TZephron::URLGetFile(const HInternet& hfile, const std::string& url, bool uncompress, const std::string& tgt) {
  DoStatus(msgDownload, url, 3, 0);
  const std::string name = URLtoFile(url);
  const std::string folder = platform::ToSlashes(tgt);
  AddOnce(FWrittenFolders, platform::ExtractFilePath(folder));

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
    const bool cabinet = platform::AsciiUpper(target).find(".CAB") != std::string::npos;
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
  // A download comes no faster than a disk takes it: its file goes to disk
  // while it grows.
  std::optional<platform::TempFile> temp = NewTempFile(DownloadFolder(*this), true, FCleanedTempFolders);
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
  // The blocks are read straight into a larger buffer that goes to the
  // temporary file in one write whenever it is full, and at the end.
  std::vector<std::byte> pending(kWriteBuffer);
  std::size_t filled = 0;
  std::uint32_t read = 0;
  do {
    Dialogs().ProcessMessages();
    if (FTransferBound && NowMs() >= FTransferBound->deadlineMs) {
      platform::SetLastSystemError(ERROR_INTERNET_TIMEOUT);
      error = true;
      break;
    }
    if (!InternetReadFile(request, std::span(pending).subspan(filled, kInternetBlock), read)) {
      error = true;
      break;
    }
    if (FTransferBound && std::uint64_t{total} + read > FTransferBound->size) {
      platform::SetLastSystemError(kErrorFileTooLarge, "The file size exceeds the limit allowed and cannot be saved.");
      error = true;
      break;
    }
    filled += read;
    if ((filled + kInternetBlock > pending.size() || read == 0) && filled > 0) {
      if (!temp->Write(std::span(pending).first(filled))) {
        platform::SetLastSystemError(kErrorDiskFull);
        error = true;
        break;
      }
      filled = 0;
    }
    total += read;
    DoFileProgress(target, static_cast<int>(total), static_cast<int>(size));
    cancel = FCancelled;
    DoProgressCancel(cancel);
    if (read > 0) result = true;
  } while (read > 0 && !cancel);

  InternetCloseHandle(request);
  if (!temp->Close() && !error && !cancel) {
    platform::SetLastSystemError(kErrorDiskFull);
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
  if (!DigestHolds(temp->path(), url)) {
    if (!temp->Delete()) WriteLogLine("Unable to delete file " + temp->path());
    return false;
  }

  // The old target is replaced by the rename itself; only a folder in its
  // way cannot be.
  if (platform::DirectoryExists(target)) {
    result = false;
    DoStatus(msgCannotDeleteFile, target, 19, 6);
    WriteLogLine("Unable to delete file " + target);
  }
  if (platform::MoveFileReplacing(temp->path(), target)) {
    temp->Release();
  } else {
    result = false;
    DoStatus(msgCannotRenameFile, temp->path() + " to " + target, 19, 7);
    WriteLogLine("Unable to rename file " + temp->path() + " to " + target);
  }

  CustomProcess(target);
  if (uncompress) {
    if (!platform::SameTextAscii(platform::Utf8String(platform::Utf8Path(target).extension()), ".CAB")) {
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
  // Only a regular file: a FIFO would block the pass and a device such as
  // /dev/zero would never end.
  FilePtr in(platform::OpenRegularFileForReading(from));
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

  // A copy outruns the disk: handed to it while it grows, it would go at the
  // disk's speed. Only a copy that replaces a file, and is flushed for it, is.
  std::optional<platform::TempFile> temp =
      NewTempFile(DownloadFolder(*this), platform::FileExists(to), FCleanedTempFolders);
  if (!temp) return false;
  temp->Reserve(length);

  bool cancel = false;
  bool failed = false;
  bool outOfBounds = false;
  std::uint32_t total = 0;
  std::vector<std::byte> block(kLocalBlock);
  // The kernel copies each block between the files where it can; a bounded
  // copy reads every block first, so that nothing past its bound is written.
  bool kernelCopy = !FTransferBound;
  for (;;) {
    if (FTransferBound && NowMs() >= FTransferBound->deadlineMs) {
      platform::SetLastSystemError(ERROR_INTERNET_TIMEOUT);
      outOfBounds = true;
      break;
    }
    std::size_t got = 0;
    if (FTransferBound) {
      // Unbuffered: each block is one read of the file.
      got = std::fread(block.data(), 1, block.size(), in.get());
      if (got < block.size() && std::ferror(in.get())) {
        failed = true;
        break;
      }
      if (std::uint64_t{total} + got > FTransferBound->size) {
        platform::SetLastSystemError(kErrorFileTooLarge, "The file size exceeds the limit allowed and cannot be saved.");
        outOfBounds = true;
        break;
      }
      if (got > 0 && !temp->Write(std::span(block).first(got))) {
        failed = true;
        break;
      }
    } else {
      const ssize_t n = temp->CopyFrom(in.get(), block, kernelCopy);
      if (n < 0) {
        failed = true;
        break;
      }
      got = static_cast<std::size_t>(n);
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
  if (outOfBounds) Error();
  if (cancel || failed || outOfBounds) return false;  // the temporary file goes with `temp`
  if (!DigestHolds(temp->path(), source)) return false;

  if (platform::DirectoryExists(to)) {
    DoStatus(msgCannotDeleteFile, target, 19, 6);
    WriteLogLine("Unable to delete file " + target);
    return false;  // the temporary file goes with `temp`
  }
  if (!platform::MoveFileReplacing(temp->path(), to)) return false;
  temp->Release();
  return true;
}

bool TZephron::URLGetBoundedFile(const std::string& url, std::uint64_t sizeLimit) {
  const std::int64_t deadline =
      TransferTimeLimit > 0 ? NowMs() + TransferTimeLimit : std::numeric_limits<std::int64_t>::max();
  FTransferBound = TTransferBound{sizeLimit, deadline};
  // The Internet layer bounds each request too, so that no single wait for
  // an answer outlasts the limit.
  const bool timed = FHint && TransferTimeLimit > 0;
  if (timed) InternetSetOptionW(FHint, ZEPHRON_OPTION_TRANSFER_TIME_LIMIT, static_cast<std::uint32_t>(TransferTimeLimit));
  const bool ok = URLGetFile(FHintConnect, url, false, WinTempDir());
  if (timed && FHint) InternetSetOptionW(FHint, ZEPHRON_OPTION_TRANSFER_TIME_LIMIT, 0);
  FTransferBound.reset();
  return ok;
}

bool TZephron::ShowLoginDialog(const std::string& caption, std::string& user, std::string& password) {
  return Dialogs().LoginDialog(caption, user, password);
}

void TZephron::DoFileProgress(const std::string& FileName, int Pos, int Size) {
  if (FProgressForm) {
    // The label changes with the file only, not with every block.
    if (FileName != FProgressFileName || FProgressLabel.empty()) {
      FProgressFileName = FileName;
      FProgressLabel = "Downloading: " + platform::ExtractFileName(FileName);
    }
    FProgressForm->SetRange(0, Size);
    FProgressForm->SetPosition(Pos);
    FProgressForm->SetLabel(FProgressLabel);
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
