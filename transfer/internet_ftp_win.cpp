// Connections and FTP on Windows: the logged-in FTP session, directory
// changes, size lookups and binary file reads, each a system call on the
// session's one control connection; HTTP connections are handed to the HTTP unit.
#include "transfer/internet_internal_win.h"

namespace zephron::transfer {

using namespace detail;
using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

class FtpFile;

// The state an FTP connection shares with the file open on it.
struct FtpState {
  NativePtr native;
  bool busy = false;  // a file is open: one transfer at a time
};

class FtpConnection : public HandleObject {
 public:
  std::shared_ptr<FtpState> state = std::make_shared<FtpState>();
  std::shared_ptr<SessionOptions> options;
  std::weak_ptr<FtpFile> openFile;

  // False (last error set) while a file is open on the connection.
  bool Usable() const {
    if (!state->busy) return true;
    Fail(ERROR_FTP_TRANSFER_IN_PROGRESS);
    return false;
  }

  // Runs one command round on the control connection within the time-outs;
  // one that does not end in time takes the connection with it.
  bool Run(std::function<bool(HINTERNET&)> call, HINTERNET* made = nullptr) const {
    return RunBounded(options->connectTimeoutMs + options->receiveTimeoutMs, TransferDeadline(*options),
                      std::move(call), {state->native}, made);
  }

 protected:
  void Release() override;
};

// A file being read from an FTP connection (RETR in binary mode).
class FtpFile : public ReadableHandle {
 public:
  FtpFile(std::shared_ptr<FtpState> state, NativePtr file, std::optional<Clock::time_point> deadline,
          const SessionOptions& options)
      : state_(std::move(state)), reader_(std::move(file)) {
    state_->busy = true;
    reader_.SetLimits(deadline, options.receiveTimeoutMs);
    ApplyTimeouts(reader_.get(), options);
  }
  ~FtpFile() override { Finish(); }

  bool ReadBlock(std::span<std::byte> out, std::uint32_t& read) override {
    const bool ok = reader_.Read(out, read);
    if (!ok || read == 0) TakeSystemResponse();
    return ok;
  }

 protected:
  void Release() override { Finish(); }

 private:
  void Finish() {
    if (!state_) return;
    reader_.Reset();  // the system reads the server's reply to the transfer here
    TakeSystemResponse();
    state_->busy = false;
    state_.reset();
  }

  std::shared_ptr<FtpState> state_;
  BodyReader reader_;
};

void FtpConnection::Release() {
  if (auto file = openFile.lock()) file->Close();
  state->native.reset();
}

// The result of FtpFindFirstFileW: the system's search is over at once (it
// would hold the connection), so this holds nothing but must be closed like any handle.
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
  if (service != INTERNET_SERVICE_HTTP && service != INTERNET_SERVICE_FTP) {
    Fail(ERROR_INVALID_PARAMETER);
    return {};
  }
  const std::wstring wideUser = Wide(user);
  const std::wstring widePassword = Wide(password);
  if (service == INTERNET_SERVICE_HTTP) {
    // The server's credentials, for the requests on the connection.
    NativePtr native = Hold(::InternetConnectW(owner->native->get(), Wide(server).c_str(), port,
                                               user.empty() ? nullptr : wideUser.c_str(),
                                               user.empty() ? nullptr : widePassword.c_str(), INTERNET_SERVICE_HTTP,
                                               0, 0),
                            owner->native);
    return native ? ConnectHttp(*owner, std::move(native)) : HInternet();
  }
  // The log-on: connecting and the server's greeting and replies, within the time-outs.
  const SessionOptions& options = *owner->options;
  const auto logOn = [session = owner->native, host = Wide(server), port, named = !user.empty(), user = wideUser,
                      password = widePassword, passive = flags & INTERNET_FLAG_PASSIVE](HINTERNET& made) {
    made = ::InternetConnectW(session->get(), host.c_str(), port, named ? user.c_str() : nullptr,
                              named ? password.c_str() : nullptr, INTERNET_SERVICE_FTP, passive, 0);
    return made != nullptr;
  };
  HINTERNET made = nullptr;
  if (!RunBounded(options.connectTimeoutMs + options.receiveTimeoutMs, std::nullopt, logOn, {}, &made)) return {};
  auto connection = std::make_shared<FtpConnection>();
  connection->state->native = std::make_shared<NativeHandle>(made, owner->native);
  connection->options = owner->options;
  ApplyTimeouts(made, options);
  return HInternet(std::move(connection));
}

bool FtpSetCurrentDirectoryW(const HInternet& handle, const std::string& directory) {
  auto* connection = As<FtpConnection>(handle);
  if (!connection || !connection->Usable()) return false;
  return connection->Run([native = connection->state->native->get(), name = Wide(directory)](HINTERNET&) {
    return ::FtpSetCurrentDirectoryW(native, name.c_str()) != FALSE;
  });
}

HInternet FtpFindFirstFileW(const HInternet& handle, const std::string& name, WIN32_FIND_DATAW& found,
                            std::uint32_t, std::uintptr_t) {
  found = WIN32_FIND_DATAW{};
  auto* connection = As<FtpConnection>(handle);
  if (!connection || !connection->Usable()) return {};
  auto entry = std::make_shared<::WIN32_FIND_DATAW>();
  // The search is over at once: an open one would hold the connection.
  const bool listed = connection->Run([native = connection->state->native->get(), pattern = Wide(name), entry](HINTERNET&) {
    HINTERNET search = ::FtpFindFirstFileW(native, pattern.c_str(), entry.get(), INTERNET_FLAG_RELOAD, 0);
    if (!search) return false;
    ::InternetCloseHandle(search);
    return true;
  });
  if (!listed) {
    // Nothing listed, or the server refused to list it: the file is not there.
    const std::uint32_t code = platform::LastSystemError().code;
    if (code == 0 || code == ERROR_INTERNET_EXTENDED_ERROR) Fail(ERROR_NO_MORE_FILES, "There are no more files.");
    return {};
  }
  found.cFileName = Narrow(entry->cFileName);
  found.nFileSizeLow = entry->nFileSizeLow;
  found.nFileSizeHigh = entry->nFileSizeHigh;
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
  if (!connection->Usable()) return {};
  const auto deadline = TransferDeadline(*connection->options);
  HINTERNET made = nullptr;
  const auto open = [native = connection->state->native->get(), file = Wide(name)](HINTERNET& opened) {
    opened = ::FtpOpenFileW(native, file.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
    return opened != nullptr;
  };
  if (!connection->Run(open, &made)) return {};
  auto file = std::make_shared<FtpFile>(connection->state, std::make_shared<NativeHandle>(made, connection->state->native), deadline,
                                        *connection->options);
  connection->openFile = file;
  return HInternet(std::move(file));
}

}  // namespace zephron::transfer
