// URLGetFile over HTTP and HTTPS against a real nginx (and a Python server
// for the cut-off and stalled bodies).

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "archive/base64.h"
#include "tests/engine_transfer/transfer_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

class HttpRetrieval : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SharedServer<NginxServer>::Start();
    SharedServer<ScriptHttpServer>::Start();
  }
  static void TearDownTestSuite() {
    SharedServer<NginxServer>::Stop();
    SharedServer<ScriptHttpServer>::Stop();
  }

  void SetUp() override {
    ZEPHRON_REQUIRE_SERVER(NginxServer);
    ZEPHRON_REQUIRE_SERVER(ScriptHttpServer);
    nginx = SharedServer<NginxServer>::Get();
    script = SharedServer<ScriptHttpServer>::Get();
    target = sandbox.root() / "target";
    fs::create_directories(target);
    engine.UpdateType = httpUpdate;
    engine.URL = nginx->Url("/update.inf");
    engine.UpdateUpdate = zpuSilent;
  }

  void TearDown() override {
    if (engine.InProgress()) engine.StopConnection();
  }

  bool Get(const std::string& url) {
    if (!engine.InProgress()) {
      EXPECT_EQ(engine.StartConnection(), 0);
    }
    return engine.URLGetFile(engine.HintConnect(), url, false, tgt());
  }
  std::string tgt() const { return target.generic_string() + "/"; }
  std::string Serve(const std::string& path, const std::string& bytes) {
    WriteFile(nginx->DocRoot() / path.substr(1), bytes);
    return nginx->Url(path);
  }
  // Log lines of requests for a path. nginx writes a line after it has sent
  // the answer, so a line may arrive a moment after the download ended.
  std::vector<std::string> LogFor(const std::string& path, std::size_t expected = 1) const {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 150; ++attempt) {
      lines.clear();
      for (const auto& line : nginx->AccessLog()) {
        if (line.find(" " + path + " ") != std::string::npos) lines.push_back(line);
      }
      if (lines.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return lines;
  }

  Sandbox sandbox;
  NginxServer* nginx = nullptr;
  ScriptHttpServer* script = nullptr;
  fs::path target;
  RecordingEngine engine;
};

TEST_F(HttpRetrieval, DownloadsFileByteForByteWithProgressPerBlock) {
  const std::string body = Pattern(10000);
  const std::string url = Serve("/plain.bin", body);
  std::vector<std::pair<int, int>> progress;
  engine.OnFileProgress = [&](TZephron&, const std::string& name, int pos, int size) {
    EXPECT_EQ(name, tgt() + "plain.bin");
    progress.emplace_back(pos, size);
  };
  std::string downloaded;
  engine.OnFileDownloaded = [&](TZephron&, const std::string& name) { downloaded = name; };

  ASSERT_TRUE(Get(url));
  EXPECT_EQ(ReadFile(target / "plain.bin"), body);
  EXPECT_EQ(downloaded, tgt() + "plain.bin");
  ASSERT_EQ(engine.reports.front().ident, msgCheckingConnection);
  ASSERT_NE(engine.Find(msgDownload), nullptr);
  EXPECT_EQ(engine.Find(msgDownload)->arg, url);
  // 4096 + 4096 + 1808, then the empty read that ends the loop.
  ASSERT_EQ(progress.size(), 4u);
  EXPECT_EQ(progress[0], std::make_pair(4096, 10000));
  EXPECT_EQ(progress[2], std::make_pair(10000, 10000));
  EXPECT_EQ(progress[3], std::make_pair(10000, 10000));
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  EXPECT_GE(engine.dialogs.processedMessages(), 4);
}

// Larger than the receive buffer (the transfer pauses and resumes) and than
// the write buffer (the file is written in several pieces).
TEST_F(HttpRetrieval, LargeDownloadArrivesWholeInBlocksOf4096) {
  const std::string body = Pattern(3 * 1024 * 1024 + 123);
  std::vector<int> positions;
  engine.OnFileProgress = [&](TZephron&, const std::string&, int pos, int) { positions.push_back(pos); };
  ASSERT_TRUE(Get(Serve("/large.bin", body)));
  EXPECT_TRUE(ReadFile(target / "large.bin") == body);
  ASSERT_EQ(positions.size(), body.size() / 4096 + 2);
  for (std::size_t i = 0; i + 2 < positions.size(); ++i) ASSERT_EQ(positions[i], static_cast<int>((i + 1) * 4096));
  EXPECT_EQ(positions[positions.size() - 2], static_cast<int>(body.size()));
  EXPECT_EQ(positions.back(), static_cast<int>(body.size()));
}

TEST_F(HttpRetrieval, RequestAsksForFreshCopyAndCarriesAgent) {
  engine.Agent = "ZephronTestAgent/1";
  ASSERT_TRUE(Get(Serve("/fresh.txt", "fresh")));
  const auto lines = LogFor("/fresh.txt");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("cc=<no-cache>"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("pragma=<no-cache>"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("ua=<ZephronTestAgent/1>"), std::string::npos) << lines[0];
}

TEST_F(HttpRetrieval, NoAuthorizationHeaderWithoutCredentials) {
  ASSERT_TRUE(Get(Serve("/open.txt", "open")));
  const auto lines = LogFor("/open.txt");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("auth=<->"), std::string::npos) << lines[0];  // nginx logs an absent header as "-"
}

TEST_F(HttpRetrieval, CredentialsGoOutAsBasicHeader) {
  engine.UserID = NginxServer::kUser;
  engine.Password = NginxServer::kPassword;
  ASSERT_TRUE(Get(Serve("/private/app.bin", "secret data")));
  EXPECT_EQ(ReadFile(target / "app.bin"), "secret data");
  const auto lines = LogFor("/private/app.bin");
  ASSERT_EQ(lines.size(), 1u);
  const std::string expected = "auth=<Basic " + Base64Encode(std::string(NginxServer::kUser) + ":" + NginxServer::kPassword) + ">";
  EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
}

TEST_F(HttpRetrieval, Unauthorized401UnderNeverReportsStatusWithoutPrompt) {
  engine.Authenticate = zaNever;
  EXPECT_FALSE(Get(Serve("/private/never.bin", "x")));
  const auto* report = engine.Find(msgHttpStatus);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->arg, "401");
  EXPECT_EQ(report->status, 6);
  EXPECT_EQ(report->error, 401);
  EXPECT_TRUE(engine.dialogs.loginCaptions().empty());
  EXPECT_FALSE(fs::exists(target / "never.bin"));
}

TEST_F(HttpRetrieval, Unauthorized401UnderAutoPromptsAndRetriesWithNewCredentials) {
  engine.Authenticate = zaAuto;
  engine.dialogs.AnswerLogin("wrong", "guess");
  engine.dialogs.AnswerLogin(NginxServer::kUser, NginxServer::kPassword);
  ASSERT_TRUE(Get(Serve("/private/auto.bin", "auto")));
  EXPECT_EQ(ReadFile(target / "auto.bin"), "auto");
  const std::string caption = "Connect to 127.0.0.1:" + std::to_string(nginx->port());
  EXPECT_EQ(engine.dialogs.loginCaptions(), (std::vector<std::string>{caption, caption}));
  EXPECT_EQ(engine.UserID, NginxServer::kUser);
  EXPECT_EQ(engine.Password, NginxServer::kPassword);
  EXPECT_EQ(LogFor("/private/auto.bin", 3).size(), 3u);
  EXPECT_EQ(engine.Find(msgHttpStatus), nullptr);
}

TEST_F(HttpRetrieval, CancelledPromptUnderAutoReportsAuthenticationCancelled) {
  engine.Authenticate = zaAuto;
  engine.dialogs.CancelLogin();
  EXPECT_FALSE(Get(nginx->Url("/denied/x.bin")));
  const auto* report = engine.Find(msgAuthenticationCancelled);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->status, 0);
  EXPECT_EQ(engine.Find(msgHttpStatus), nullptr);
}

TEST_F(HttpRetrieval, Unauthorized401UnderAlwaysWithCredentialsReportsStatus) {
  engine.Authenticate = zaAlways;
  engine.UserID = "someone";
  engine.Password = "else";
  EXPECT_FALSE(Get(nginx->Url("/denied/always.bin")));
  EXPECT_TRUE(engine.dialogs.loginCaptions().empty());
  ASSERT_NE(engine.Find(msgHttpStatus), nullptr);
  EXPECT_EQ(engine.Find(msgHttpStatus)->error, 401);
}

TEST_F(HttpRetrieval, AlwaysPromptsBeforeFirstRequestAndCancelSendsNothing) {
  engine.Authenticate = zaAlways;
  engine.UserID = "user";
  engine.dialogs.CancelLogin();
  const std::string url = Serve("/private/first.bin", "x");
  EXPECT_FALSE(Get(url));
  EXPECT_EQ(engine.dialogs.loginCaptions().size(), 1u);
  EXPECT_NE(engine.Find(msgAuthenticationCancelled), nullptr);
  // A request made after it is logged after it: once that one is in the
  // log, a request for the file would be too.
  engine.Authenticate = zaNever;
  ASSERT_TRUE(Get(Serve("/after-cancel.txt", "y")));
  ASSERT_EQ(LogFor("/after-cancel.txt").size(), 1u);
  EXPECT_TRUE(LogFor("/private/first.bin", 0).empty());
  EXPECT_EQ(engine.UserID, "user");
  EXPECT_EQ(engine.Password, "");
}

TEST_F(HttpRetrieval, AlwaysPromptConfirmedKeepsCredentialsForLaterDownloads) {
  engine.Authenticate = zaAlways;
  engine.dialogs.AnswerLogin(NginxServer::kUser, NginxServer::kPassword);
  ASSERT_TRUE(Get(Serve("/private/one.bin", "1")));
  ASSERT_TRUE(Get(Serve("/private/two.bin", "2")));
  EXPECT_EQ(engine.dialogs.loginCaptions().size(), 1u);
  EXPECT_EQ(ReadFile(target / "two.bin"), "2");
}

TEST_F(HttpRetrieval, MissingFileReports404) {
  EXPECT_FALSE(Get(nginx->Url("/no/such.file")));
  ASSERT_NE(engine.Find(msgHttpStatus), nullptr);
  EXPECT_EQ(engine.Find(msgHttpStatus)->error, 404);
  EXPECT_FALSE(fs::exists(target / "such.file"));
}

TEST_F(HttpRetrieval, RedirectIsFollowed) {
  Serve("/redirected.txt", "moved here");
  ASSERT_TRUE(Get(nginx->Url("/redirect")));
  // Stored under the name of the requested URL, as the name comes from it.
  EXPECT_EQ(ReadFile(target / "redirect"), "moved here");
}

TEST_F(HttpRetrieval, ReadOnlyTargetIsReplaced) {
  WriteFile(target / "ro.bin", "old");
  fs::permissions(target / "ro.bin", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string url = Serve("/ro.bin", "new contents");
  EXPECT_EQ(AsUnprivilegedUser(sandbox, {target, sandbox.temp()}, [&]() -> std::string {
              if (!Get(url)) return "not fetched";
              if (ReadFile(target / "ro.bin") != "new contents") return "not replaced";
              return "";
            }),
            "");
}

TEST_F(HttpRetrieval, CancelLeavesNoTemporaryFileAndTargetUnchanged) {
  WriteFile(target / "big.bin", "previous");
  const std::string url = Serve("/big.bin", Pattern(200000));
  int polls = 0;
  engine.OnProgressCancel = [&](TZephron&, bool& cancel) { cancel = ++polls == 2; };
  EXPECT_FALSE(Get(url));
  EXPECT_TRUE(engine.Cancelled());
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(ReadFile(target / "big.bin"), "previous");
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  ASSERT_NE(engine.Find(msgProcessCancelled), nullptr);
}

TEST_F(HttpRetrieval, CancelFlagSetBeforeTransferStopsAfterFirstBlock) {
  const std::string url = Serve("/flag.bin", Pattern(50000));
  engine.Cancel();
  int blocks = 0;
  engine.OnFileProgress = [&](TZephron&, const std::string&, int, int) { ++blocks; };
  EXPECT_FALSE(Get(url));
  EXPECT_EQ(blocks, 1);
  EXPECT_TRUE(engine.Cancelled());
  EXPECT_FALSE(fs::exists(target / "flag.bin"));
}

TEST_F(HttpRetrieval, BodyCutOffByServerLeavesTargetAndReports) {
  WriteFile(target / "cut", "intact");
  EXPECT_FALSE(Get(script->Url("/cut")));
  EXPECT_EQ(ReadFile(target / "cut"), "intact");
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  const auto* report = engine.Find(msgSystemError);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->error, 12030);
}

TEST_F(HttpRetrieval, StalledBodyTimesOutLeavesTargetAndReports) {
  engine.ReceiveTimeOut = 400;
  WriteFile(target / "stall", "intact");
  EXPECT_FALSE(Get(script->Url("/stall")));
  EXPECT_EQ(ReadFile(target / "stall"), "intact");
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  const auto* report = engine.Find(msgSystemError);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->error, 12002);
}

TEST_F(HttpRetrieval, UntrustedCertificateFailsUnderFullVerification) {
  Serve("/tls.bin", "over tls");
  engine.CertCheck = ccEnable;
  EXPECT_FALSE(Get(nginx->TlsUrl("/tls.bin")));
  const auto* error = engine.Find(msgSystemError);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->error, 12045);
  const auto* notFound = engine.Find(msgFileNotFound);
  ASSERT_NE(notFound, nullptr);
  EXPECT_EQ(notFound->status, 2);
  EXPECT_EQ(notFound->error, 1);
  EXPECT_FALSE(fs::exists(target / "tls.bin"));
}

TEST_F(HttpRetrieval, UntrustedCertificateAcceptedWhenChecksDisabled) {
  Serve("/tls.bin", "over tls");
  engine.CertCheck = ccDisable;
  ASSERT_TRUE(Get(nginx->TlsUrl("/tls.bin")));
  EXPECT_EQ(ReadFile(target / "tls.bin"), "over tls");
}

TEST_F(HttpRetrieval, UnresolvableHostReportsNameNotResolved) {
  EXPECT_FALSE(Get("http://no-such-host.invalid/file.bin"));
  ASSERT_NE(engine.Find(msgSystemError), nullptr);
  EXPECT_EQ(engine.Find(msgSystemError)->error, 12007);
  EXPECT_NE(engine.Find(msgFileNotFound), nullptr);
}

TEST_F(HttpRetrieval, RefusedPortReportsCannotConnect) {
  EXPECT_FALSE(Get("http://127.0.0.1:" + std::to_string(FreePort()) + "/file.bin"));
  ASSERT_NE(engine.Find(msgSystemError), nullptr);
  EXPECT_EQ(engine.Find(msgSystemError)->error, 12029);
}

TEST_F(HttpRetrieval, ErrorWithoutStatusHandlerShowsMessageBoxUnlessSilent) {
  engine.UpdateUpdate = zpuPromptOnce;
  EXPECT_FALSE(Get("http://127.0.0.1:" + std::to_string(FreePort()) + "/file.bin"));
  ASSERT_EQ(engine.dialogs.shown().size(), 1u);
  EXPECT_EQ(engine.dialogs.shown()[0].kind, ui::MessageKind::Error);
}

TEST_F(HttpRetrieval, UrlEndingInSlashIsRefusedInsteadOfReplacingTheFolder) {
  Serve("/index.html", "index");
  WriteFile(target / "keep.txt", "kept");
  EXPECT_FALSE(Get(nginx->Url("/")));
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(ReadFile(target / "keep.txt"), "kept");
  ASSERT_NE(engine.Find(msgFileNotFound), nullptr);
  EXPECT_EQ(engine.Find(msgSystemError)->error, 123);
}

TEST_F(HttpRetrieval, NameFromHandlerThatClimbsOutIsRefused) {
  const std::string url = Serve("/climb.bin", "payload");
  engine.OnFileNameFromURL = [](TZephron&, const std::string&, std::string& name) { name = "../escaped.bin"; };
  EXPECT_FALSE(Get(url));
  EXPECT_FALSE(fs::exists(sandbox.root() / "escaped.bin"));
  EXPECT_NE(engine.Find(msgFileNotFound), nullptr);
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(HttpRetrieval, ProgressWindowShowsFileAndPosition) {
  auto& window = engine.UseProgressWindow();
  ASSERT_TRUE(Get(Serve("/shown.bin", Pattern(5000))));
  EXPECT_EQ(window.label, "Downloading: shown.bin");
  EXPECT_EQ(window.min, 0);
  EXPECT_EQ(window.max, 5000);
  EXPECT_EQ(window.position, 5000);
}

TEST_F(HttpRetrieval, TemporaryFileGoesToTempDirectoryWhenSystemFolderIsOff) {
  const fs::path downloads = sandbox.root() / "downloads";
  fs::create_directories(downloads);
  engine.UseWinTempDir = false;
  engine.TempDirectory = downloads.string();  // without a trailing separator
  std::vector<std::string> during;
  engine.OnFileProgress = [&](TZephron&, const std::string&, int, int) {
    if (during.empty()) during = TempFilesIn(downloads);
  };
  ASSERT_TRUE(Get(Serve("/elsewhere.bin", Pattern(9000))));
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0].substr(0, 3), "ZEP");
  EXPECT_TRUE(TempFilesIn(downloads).empty());
}

// Connections stay open for the next request, with the keep-alive flags
// and without them, and also from one session to the next.
TEST_F(HttpRetrieval, DownloadsReuseTheKeptConnectionWithOrWithoutTheFlags) {
  const auto field = [](const std::string& line, const std::string& name) {
    const auto at = line.find(name + "=");
    return at == std::string::npos ? std::string() : line.substr(at, line.find(' ', at) - at);
  };
  const auto request = [&](const std::string& line) { return std::stoi(field(line, "req").substr(4)); };
  ASSERT_TRUE(Get(Serve("/plain1.txt", "1")));
  ASSERT_TRUE(Get(Serve("/plain2.txt", "2")));
  engine.HTTPKeepAliveAuthentication = true;
  engine.ExistingConnection = true;
  ASSERT_TRUE(Get(Serve("/flags.txt", "3")));
  engine.StopConnection();
  ASSERT_EQ(engine.StartConnection(), 0);
  ASSERT_TRUE(Get(Serve("/session2.txt", "4")));
  std::vector<std::string> lines;
  for (const char* uri : {"/plain1.txt", "/plain2.txt", "/flags.txt", "/session2.txt"}) {
    const auto found = LogFor(uri);
    ASSERT_EQ(found.size(), 1u) << uri;
    lines.push_back(found[0]);
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(field(lines[i], "conn"), field(lines[0], "conn")) << lines[i];
    EXPECT_EQ(request(lines[i]), request(lines[0]) + static_cast<int>(i)) << lines[i];
  }
}

TEST_F(HttpRetrieval, EmptyFileIsPlacedButReportedAsNotFetched) {
  // The result counts only transfers that delivered data; the empty file is in place all the same.
  EXPECT_FALSE(Get(Serve("/empty.bin", "")));
  EXPECT_TRUE(fs::exists(target / "empty.bin"));
  EXPECT_EQ(fs::file_size(target / "empty.bin"), 0u);
}

TEST_F(HttpRetrieval, ControlFilePastItsSizeBoundFailsWithoutWritingPastIt) {
  engine.ControlFileSizeLimit = 100000;
  int largest = 0;
  engine.OnFileProgress = [&](TZephron&, const std::string&, int pos, int) { largest = std::max(largest, pos); };
  ASSERT_EQ(engine.StartConnection(), 0);
  EXPECT_FALSE(engine.URLGetBoundedFile(script->Url("/endless"), engine.ControlFileSizeLimit));
  EXPECT_LE(largest, 100000);
  const auto* report = engine.Find(msgSystemError);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->error, 223);
  EXPECT_FALSE(fs::exists(sandbox.temp() / "endless"));
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
}

TEST_F(HttpRetrieval, TricklingControlFileEndsAtItsTimeLimit) {
  engine.TransferTimeLimit = 600;
  ASSERT_EQ(engine.StartConnection(), 0);
  EXPECT_FALSE(engine.URLGetBoundedFile(script->Url("/trickle"), engine.ControlFileSizeLimit));
  const auto* report = engine.Find(msgSystemError);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->error, 12002);
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  // Files of an update pass are not bounded by it.
  ASSERT_TRUE(Get(Serve("/after.bin", std::string(300000, 'a'))));
}

// Retrievals through a real proxy (tinyproxy), one open and one that wants
// Basic authentication.
class ProxiedRetrieval : public HttpRetrieval {
 protected:
  static void SetUpTestSuite() {
    HttpRetrieval::SetUpTestSuite();
    try {
      open_ = std::make_unique<ProxyServer>(false);
      guarded_ = std::make_unique<ProxyServer>(true);
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void TearDownTestSuite() {
    open_.reset();
    guarded_.reset();
    HttpRetrieval::TearDownTestSuite();
  }
  void SetUp() override {
    if (!open_ || !guarded_) FAIL() << "tinyproxy is not running: " << error_;
    HttpRetrieval::SetUp();
  }

  static inline std::unique_ptr<ProxyServer> open_;
  static inline std::unique_ptr<ProxyServer> guarded_;
  static inline std::string error_;
};

TEST_F(ProxiedRetrieval, HttpsStatusIsTheServersNotTheProxysConnectAnswer) {
  engine.Proxy = open_->Address();
  engine.CertCheck = ccDisable;
  WriteFile(target / "missing.inf", "intact");
  EXPECT_FALSE(Get(nginx->TlsUrl("/missing.inf")));
  const auto* status = engine.Find(msgHttpStatus);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->error, 404);
  EXPECT_EQ(ReadFile(target / "missing.inf"), "intact");

  Serve("/proxied.bin", "through the tunnel");
  ASSERT_TRUE(Get(nginx->TlsUrl("/proxied.bin")));
  EXPECT_EQ(ReadFile(target / "proxied.bin"), "through the tunnel");
}

TEST_F(ProxiedRetrieval, ProxyCredentialsGoToTheProxyAndNeverToTheServer) {
  engine.Proxy = guarded_->Address();
  engine.ProxyUserID = ProxyServer::kUser;
  engine.ProxyPassword = ProxyServer::kPassword;
  ASSERT_TRUE(Get(Serve("/behind-proxy.txt", "allowed")));
  EXPECT_EQ(ReadFile(target / "behind-proxy.txt"), "allowed");
  const auto lines = LogFor("/behind-proxy.txt");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("auth=<->"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace zephron::test
