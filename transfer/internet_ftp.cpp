// FTP: the logged-in connection, directory changes, size lookups and binary
// file reads on one control connection.
#include <cctype>
#include <cstdlib>

#include "transfer/internet_internal.h"

namespace zephron::transfer {

using namespace detail;

namespace {

class FtpFile;

// A logged-in FTP session: one easy handle whose control connection stays in
// the session's connection cache between the calls.
class FtpConnection : public HandleObject, public std::enable_shared_from_this<FtpConnection> {
 public:
  FtpConnection(std::shared_ptr<SessionCore> core, EasyPtr easy, std::string base)
      : core_(std::move(core)), easy_(std::move(easy)), base_(std::move(base)) {
    curl_easy_setopt(easy_.get(), CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy_.get(), CURLOPT_DEBUGFUNCTION, &FtpConnection::OnDebug);
    curl_easy_setopt(easy_.get(), CURLOPT_DEBUGDATA, this);
    // Names go to the server as given, relative to its current directory:
    // libcurl must not walk the URL's directories itself.
    curl_easy_setopt(easy_.get(), CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy_.get(), CURLOPT_TRANSFERTEXT, 0L);
  }

  // Logs on (the first command round).
  bool Login() { return RunCommand("", {}); }

  bool ChangeDirectory(const std::string& directory) {
    if (!Usable()) return false;
    // "*" lets the round go on when the server refuses, so the control
    // connection (and with it the session) survives a refused change.
    if (!RunCommand("", {"*CWD " + directory, "*PWD"})) return false;
    const Reply* cwd = FindReply("CWD");
    if (!cwd || cwd->code / 100 != 2) {
      platform::SetLastResponseInfo(cwd ? cwd->text : std::string());
      Fail(ERROR_INTERNET_EXTENDED_ERROR);
      return false;
    }
    const Reply* pwd = FindReply("PWD");
    absoluteDirectory_.clear();
    if (pwd && pwd->code == 257) {
      const auto open = pwd->text.find('"');
      const auto close = pwd->text.rfind('"');
      if (open != std::string::npos && close > open) absoluteDirectory_ = pwd->text.substr(open + 1, close - open - 1);
    }
    return true;
  }

  // The size of a file by name; nullopt (last error set) when the server does not list it.
  std::optional<std::uint64_t> FileSize(const std::string& name) {
    if (!Usable()) return std::nullopt;
    if (!RunCommand(name, {})) {
      // The server refused the size: the file is not there to be listed.
      if (LastReplyIsError()) Fail(ERROR_NO_MORE_FILES, "There are no more files.");
      return std::nullopt;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0) {
      Fail(ERROR_NO_MORE_FILES, "There are no more files.");
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(length);
  }

  std::shared_ptr<FtpFile> OpenFile(const std::string& name);

  // The transfer of an open file ended; an unfinished one took the control
  // connection with it, and the next one may be a fresh log-on.
  void FileClosed(bool completed) {
    busy_ = false;
    if (!completed) restoreDirectory_ = true;
  }

  CURL* easy() const { return easy_.get(); }
  const std::shared_ptr<SessionCore>& core() const { return core_; }
  std::string UrlFor(const std::string& name) const {
    char* escaped = curl_easy_escape(easy_.get(), name.c_str(), static_cast<int>(name.size()));
    std::string url = base_ + (escaped ? escaped : "");
    curl_free(escaped);
    return url;
  }
  void BeginRound(CurlSlist& quotes, const std::vector<std::string>& commands) {
    replies_.clear();
    pending_.clear();
    if (restoreDirectory_ && !absoluteDirectory_.empty()) quotes.Append("*CWD " + absoluteDirectory_);
    restoreDirectory_ = false;
    for (const auto& command : commands) quotes.Append(command);
    curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, quotes.list);
  }
  void EndRound(bool ok) {
    curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, nullptr);
    if (!ok) restoreDirectory_ = true;
  }
  bool LastReplyIsError() const { return !replies_.empty() && replies_.back().code >= 400; }
  Transfer* activeTransfer = nullptr;

 protected:
  void Release() override;

 private:
  struct Reply {
    std::string command;
    int code = 0;
    std::string text;
  };

  bool Usable() {
    if (busy_) {
      Fail(ERROR_FTP_TRANSFER_IN_PROGRESS);
      return false;
    }
    return true;
  }

  const Reply* FindReply(std::string_view verb) const {
    for (const auto& reply : replies_) {
      if (platform::StartsWithAsciiNoCase(reply.command, verb)) return &reply;
    }
    return nullptr;
  }

  // One command round without a body: log-on or reuse, the quoted commands,
  // and for a name the SIZE lookup.
  bool RunCommand(const std::string& name, const std::vector<std::string>& commands) {
    CurlSlist quotes;
    BeginRound(quotes, commands);
    curl_easy_setopt(easy_.get(), CURLOPT_URL, UrlFor(name).c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    Transfer transfer(core_, easy_.get(), false);
    activeTransfer = &transfer;
    bool ok = transfer.Start();
    if (ok) {
      transfer.RunToEnd();
      ok = transfer.result() == CURLE_OK;
      if (!ok) transfer.ReportFailure(LastReplyIsError());
    }
    transfer.Stop();
    activeTransfer = nullptr;
    EndRound(ok);
    return ok;
  }

  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    auto* connection = static_cast<FtpConnection*>(self);
    if (connection->activeTransfer && (type == CURLINFO_HEADER_IN || type == CURLINFO_DATA_IN)) {
      connection->activeTransfer->Touch();
    }
    if (type == CURLINFO_HEADER_OUT) {
      connection->lastCommand_ = TrimLine(std::string_view(data, size));
    } else if (type == CURLINFO_HEADER_IN) {
      connection->ServerLine(TrimLine(std::string_view(data, size)));
    }
    return 0;
  }

  // Collects a reply (multi-line ones end with "ddd " after "ddd-").
  void ServerLine(const std::string& line) {
    if (!pending_.empty()) pending_ += "\r\n";
    pending_ += line;
    const bool hasCode = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                         std::isdigit(static_cast<unsigned char>(line[1])) &&
                         std::isdigit(static_cast<unsigned char>(line[2]));
    if (!hasCode) return;
    if (line.size() > 3 && line[3] == '-') {
      if (openCode_.empty()) openCode_ = line.substr(0, 3);
      return;
    }
    if (!openCode_.empty() && line.compare(0, 3, openCode_) != 0) return;
    Reply reply{lastCommand_, std::atoi(line.substr(0, 3).c_str()), pending_};
    platform::SetLastResponseInfo(reply.text);
    replies_.push_back(std::move(reply));
    pending_.clear();
    openCode_.clear();
  }

  std::shared_ptr<SessionCore> core_;
  EasyPtr easy_;
  std::string base_;
  std::string lastCommand_;
  std::string pending_;
  std::string openCode_;
  std::vector<Reply> replies_;
  std::string absoluteDirectory_;
  bool restoreDirectory_ = false;
  bool busy_ = false;
  std::weak_ptr<FtpFile> openFile_;
  friend class FtpFile;
};

// A file being read from an FTP connection (RETR in binary mode).
class FtpFile : public ReadableHandle {
 public:
  explicit FtpFile(std::shared_ptr<FtpConnection> connection)
      : connection_(std::move(connection)), transfer_(std::make_unique<Transfer>(connection_->core(), connection_->easy(), false)) {}

  bool Open(const std::string& name) {
    curl_easy_setopt(connection_->easy(), CURLOPT_URL, connection_->UrlFor(name).c_str());
    curl_easy_setopt(connection_->easy(), CURLOPT_NOBODY, 0L);
    connection_->BeginRound(quotes_, {});
    connection_->activeTransfer = transfer_.get();
    if (!transfer_->Start()) {
      Finish();
      return false;
    }
    // Wait for the first data or the end, so that a refusal shows here.
    transfer_->Pump([this] { return transfer_->Available() > 0; });
    if (transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(connection_->LastReplyIsError());
      Finish();
      return false;
    }
    return true;
  }

  bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) override {
    read = 0;
    const std::size_t n = transfer_->Read(out);
    if (n == 0 && transfer_->done() && transfer_->result() != CURLE_OK) {
      transfer_->ReportFailure(connection_->LastReplyIsError());
      return false;
    }
    read = static_cast<std::uint32_t>(n);
    return true;
  }

 protected:
  void Release() override { Finish(); }

 private:
  void Finish() {
    if (!transfer_) return;
    const bool completed = transfer_->done() && transfer_->result() == CURLE_OK;
    transfer_->Stop();
    transfer_.reset();
    connection_->activeTransfer = nullptr;
    connection_->EndRound(completed);
    connection_->FileClosed(completed);
  }

  std::shared_ptr<FtpConnection> connection_;
  std::unique_ptr<Transfer> transfer_;
  CurlSlist quotes_;
};

std::shared_ptr<FtpFile> FtpConnection::OpenFile(const std::string& name) {
  if (!Usable()) return nullptr;
  auto file = std::make_shared<FtpFile>(shared_from_this());
  busy_ = true;
  if (!file->Open(name)) return nullptr;  // Open has released the connection again
  openFile_ = file;
  return file;
}

void FtpConnection::Release() {
  if (auto file = openFile_.lock()) file->Close();
  easy_.reset();
}

// The result of FtpFindFirstFileW: holds nothing but must be closed like any handle.
class FindHandle : public HandleObject {};

}  // namespace

HInternet InternetConnectW(const HInternet& session, const std::string& server, std::uint16_t port,
                           const std::string& user, const std::string& password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t) {
  auto* owner = As<Session>(session);
  if (!owner) return {};
  if (server.empty() || IsInvalidDomain(server)) {
    Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    return {};
  }
  if (service == INTERNET_SERVICE_HTTP) {
    return ConnectHttp(owner->core, server, port, user, password);
  }
  if (service != INTERNET_SERVICE_FTP) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  EasyPtr easy = NewEasy();
  if (!easy) return {};
  owner->core->Apply(easy.get(), 0);
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "ftp");
  if (!user.empty()) {
    curl_easy_setopt(easy.get(), CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PASSWORD, password.c_str());
  }
  if (flags & INTERNET_FLAG_PASSIVE) {
    curl_easy_setopt(easy.get(), CURLOPT_FTPPORT, nullptr);
  } else {
    curl_easy_setopt(easy.get(), CURLOPT_FTPPORT, "-");
  }
  const bool ipv6 = server.find(':') != std::string::npos;
  const std::string base = "ftp://" + (ipv6 ? "[" + server + "]" : server) + ":" +
                           std::to_string(port == 0 ? 21 : port) + "/";
  auto connection = std::make_shared<FtpConnection>(owner->core, std::move(easy), base);
  if (!connection->Login()) return {};
  return HInternet(std::move(connection));
}

bool FtpSetCurrentDirectoryW(const HInternet& handle, const std::string& directory) {
  auto* connection = As<FtpConnection>(handle);
  return connection && connection->ChangeDirectory(directory);
}

HInternet FtpFindFirstFileW(const HInternet& handle, const std::string& name, WIN32_FIND_DATAW& found,
                            std::uint32_t, std::uintptr_t) {
  found = WIN32_FIND_DATAW{};
  auto* connection = As<FtpConnection>(handle);
  if (!connection) return {};
  const auto size = connection->FileSize(name);
  if (!size) return {};
  found.cFileName = name;
  found.nFileSizeLow = static_cast<std::uint32_t>(*size & 0xFFFFFFFFu);
  found.nFileSizeHigh = static_cast<std::uint32_t>(*size >> 32);
  return HInternet(std::make_shared<FindHandle>());
}

HInternet FtpOpenFileW(const HInternet& handle, const std::string& name, std::uint32_t access, std::uint32_t,
                       std::uintptr_t) {
  auto* connection = As<FtpConnection>(handle);
  if (!connection) return {};
  if (access != GENERIC_READ) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  auto file = connection->OpenFile(name);
  if (!file) return {};
  return HInternet(std::move(file));
}

}  // namespace zephron::transfer
