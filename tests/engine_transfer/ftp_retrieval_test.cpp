// FTP connections and retrievals of the engine against a real FTP server
// (pyftpdlib), in passive and active mode.
#include <filesystem>
#include <string>

#include "tests/engine_transfer/transfer_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class FtpRetrieval : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() { SharedServer<FtpServer>::Start(); }
  static void TearDownTestSuite() { SharedServer<FtpServer>::Stop(); }

  void SetUp() override {
    ZEPHRON_REQUIRE_SERVER(FtpServer);
    ftp = SharedServer<FtpServer>::Get();
    target = sandbox.root() / "target";
    fs::create_directories(target);
    engine.UpdateType = ftpUpdate;
    engine.UpdateUpdate = zpuSilent;
    engine.Host = "127.0.0.1";
    engine.Port = ftp->port();
    engine.URL = "ftp://127.0.0.1/updates/update.inf";
    engine.FTPPassive = GetParam();
    engine.UserID = FtpServer::kUser;
    engine.Password = FtpServer::kPassword;
    WriteFile(ftp->UserRoot() / "updates/app.bin", std::string(70000, 'u'));
    WriteFile(ftp->UserRoot() / "top.bin", "top level");
    WriteFile(ftp->AnonymousRoot() / "public.bin", "for everyone");
  }

  void TearDown() override {
    if (engine.InProgress()) engine.StopConnection();
  }

  void Connect() {
    ASSERT_EQ(engine.StartConnection(), 0);
    ASSERT_EQ(engine.FTPConnect(), 0);
  }
  bool Get(const std::string& url) { return engine.URLGetFile(engine.HintConnect(), url, false, target.string() + "/"); }

  // Commands of the control connections opened since `from` log lines.
  std::vector<std::string> Commands(std::size_t from, const std::string& verb) const {
    std::vector<std::string> found;
    const auto log = ftp->CommandLog();
    for (std::size_t i = from; i < log.size(); ++i) {
      const auto space = log[i].find(' ');
      if (log[i].compare(space + 1, verb.size() + 1, verb + " ") == 0) found.push_back(log[i]);
    }
    return found;
  }

  Sandbox sandbox;
  FtpServer* ftp = nullptr;
  fs::path target;
  RecordingEngine engine;
};

TEST_P(FtpRetrieval, FetchesFileOfCurrentDirectoryWithListedSize) {
  engine.FTPDirectory = "updates";
  Connect();
  std::vector<int> sizes;
  engine.OnFileProgress = [&](TZephron&, const std::string&, int, int size) { sizes.push_back(size); };
  ASSERT_TRUE(Get("ftp://127.0.0.1/elsewhere/dir/app.bin"));
  EXPECT_EQ(ReadFile(target / "app.bin"), std::string(70000, 'u'));
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.front(), 70000);
  const auto* change = engine.Find(msgChangeFtpDirectory);
  ASSERT_NE(change, nullptr);
  EXPECT_EQ(change->arg, "updates");
  EXPECT_EQ(engine.Find(msgCannotChangeFtpDirectory), nullptr);
}

TEST_P(FtpRetrieval, DirectoryChangeHappensOncePerConnection) {
  const std::size_t start = ftp->CommandLog().size();
  engine.FTPDirectory = "updates";
  Connect();
  ASSERT_TRUE(Get("app.bin"));
  ASSERT_TRUE(Get("app.bin"));
  EXPECT_EQ(engine.Count(msgChangeFtpDirectory), 1);
  EXPECT_EQ(Commands(start, "CWD").size(), 1u);
  // One control connection, one log-on.
  EXPECT_EQ(Commands(start, "USER").size(), 1u);
  engine.StopConnection();

  Connect();
  EXPECT_FALSE(engine.FtpDirectorySet());
  ASSERT_TRUE(Get("app.bin"));
  EXPECT_EQ(engine.Count(msgChangeFtpDirectory), 2);
}

TEST_P(FtpRetrieval, RefusedDirectoryChangeIsReportedAndNotRetried) {
  const std::size_t start = ftp->CommandLog().size();
  engine.FTPDirectory = "missing";
  Connect();
  ASSERT_TRUE(Get("top.bin"));  // still in the log-on directory
  EXPECT_FALSE(Get("app.bin"));
  const auto* refused = engine.Find(msgCannotChangeFtpDirectory);
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->arg, "missing");
  EXPECT_EQ(refused->status, 3);
  EXPECT_EQ(refused->error, 8);
  EXPECT_EQ(engine.Count(msgCannotChangeFtpDirectory), 1);
  EXPECT_EQ(Commands(start, "CWD").size(), 1u);
  EXPECT_EQ(Commands(start, "USER").size(), 1u);
  EXPECT_EQ(ReadFile(target / "top.bin"), "top level");
}

TEST_P(FtpRetrieval, MissingFileReportsServerReplyAndFileNotFound) {
  Connect();
  EXPECT_FALSE(Get("ftp://127.0.0.1/nothing.bin"));
  const auto* error = engine.Find(msgSystemError);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->error, 12003);
  EXPECT_EQ(error->arg.substr(0, 4), "550 ") << error->arg;
  const auto* notFound = engine.Find(msgFileNotFound);
  ASSERT_NE(notFound, nullptr);
  EXPECT_EQ(notFound->arg, "ftp://127.0.0.1/nothing.bin");
  // The session survives the refusal.
  ASSERT_TRUE(Get("top.bin"));
}

TEST_P(FtpRetrieval, UserWithoutPasswordLogsOnAnonymously) {
  engine.Password.clear();
  Connect();
  ASSERT_TRUE(Get("public.bin"));
  EXPECT_EQ(ReadFile(target / "public.bin"), "for everyone");
}

TEST_P(FtpRetrieval, WrongPasswordFailsToConnectAndRetrievalFindsNoHandle) {
  engine.Password = "wrong";
  ASSERT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.FTPConnect(), -1);
  EXPECT_FALSE(engine.HintConnect());
  EXPECT_EQ(engine.Find(msgConnectToHost)->arg, "127.0.0.1");
  EXPECT_FALSE(Get("top.bin"));
  EXPECT_NE(engine.Find(msgFileNotFound), nullptr);
}

TEST_P(FtpRetrieval, CancelledTransferLeavesTargetAndSessionUsable) {
  engine.FTPDirectory = "updates";
  Connect();
  WriteFile(target / "app.bin", "old");
  engine.OnProgressCancel = [](TZephron&, bool& cancel) { cancel = true; };
  EXPECT_FALSE(Get("app.bin"));
  EXPECT_EQ(ReadFile(target / "app.bin"), "old");
  EXPECT_TRUE(TempFilesIn(sandbox.temp()).empty());
  engine.OnProgressCancel = nullptr;
  // The aborted transfer may have cost the control connection; the next one
  // is still in the directory that was changed to.
  engine.ClearCancelled();  // as the next engine operation does
  ASSERT_TRUE(Get("app.bin"));
  EXPECT_EQ(ReadFile(target / "app.bin"), std::string(70000, 'u'));
}

TEST_P(FtpRetrieval, StopConnectionClosesFtpThenInternetHandle) {
  Connect();
  engine.reports.clear();
  EXPECT_EQ(engine.StopConnection(), 0);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgClosedFtpConnection, msgClosedConnection, msgClosedConnection}));
  EXPECT_FALSE(engine.HintConnect());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRetrieval, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
}  // namespace zephron::test
