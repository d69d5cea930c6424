// Connection management: online checks, dial-up modes, the Internet handle
// and closing it all again.
#include <filesystem>

#include "tests/engine_transfer/transfer_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class Connection : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.UpdateUpdate = zpuSilent;
    engine.URL = "http://updates.example/app/update.inf";
  }
  void Offline() { sandbox.SetEnv("ZEPHRON_OFFLINE", "1"); }

  Sandbox sandbox;
  RecordingEngine engine;
};

TEST_F(Connection, OfflineWithNoConnectGivesUpAfterCheckingOnly) {
  Offline();
  engine.UpdateConnect = zpcNoConnect;
  EXPECT_EQ(engine.StartConnection(), 1);
  EXPECT_EQ(engine.Idents(), std::vector<int>{msgCheckingConnection});
  EXPECT_FALSE(engine.InProgress());
  EXPECT_FALSE(engine.HintConnect());
}

TEST_F(Connection, LoopbackUrlCountsAsConnectedEvenOffline) {
  Offline();
  engine.URL = "http://127.0.0.1:8080/update.inf";
  engine.UpdateConnect = zpcConnectPrompt;
  EXPECT_TRUE(engine.Connected());
  EXPECT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgCheckingConnection, msgFoundConnection}));
  EXPECT_FALSE(engine.Dialed());
  EXPECT_TRUE(engine.InProgress());
  EXPECT_TRUE(engine.HintConnect());
}

TEST_F(Connection, OfflineMachineReportsNoConnectionType) {
  Offline();
  EXPECT_FALSE(engine.Connected());
  EXPECT_EQ(engine.ConnectionType(), -1);
}

TEST_F(Connection, PromptedDialUpWithoutDialUpSupportCountsAsDialled) {
  Offline();
  engine.UpdateConnect = zpcConnectPromptHangup;
  EXPECT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgCheckingConnection, msgPromptConnection, msgFoundConnection}));
  EXPECT_TRUE(engine.Dialed());
  engine.reports.clear();
  engine.StopConnection();
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgClosedConnection, msgDisconnectDialup, msgClosedConnection}));
}

TEST_F(Connection, SilentDialUpReportsOpening) {
  Offline();
  engine.UpdateConnect = zpcConnectSilent;
  EXPECT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgCheckingConnection, msgOpeningConnection, msgFoundConnection}));
  engine.reports.clear();
  engine.StopConnection();
  // Not a hang-up mode: nothing is disconnected.
  EXPECT_EQ(engine.Count(msgDisconnectDialup), 0);
}

TEST_F(Connection, NoneOpensNothing) {
  engine.UpdateConnect = zpcNone;
  EXPECT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.Idents(), std::vector<int>{msgCheckingConnection});
  EXPECT_FALSE(engine.HintConnect());
  EXPECT_FALSE(engine.InProgress());
}

TEST_F(Connection, FileUpdateReportsNothingAndOpensNothing) {
  engine.UpdateType = fileUpdate;
  EXPECT_EQ(engine.StartConnection(), 0);
  EXPECT_TRUE(engine.reports.empty());
  EXPECT_FALSE(engine.HintConnect());
}

TEST_F(Connection, StopAfterHttpReportsClosedTwiceAndDeletesControlFile) {
  engine.URL = "http://127.0.0.1/update.inf";
  const fs::path control = sandbox.temp() / "update.inf";
  WriteFile(control, "[update]\n");
  engine.SetControlFileName(control.string());
  ASSERT_EQ(engine.StartConnection(), 0);
  engine.reports.clear();
  EXPECT_EQ(engine.StopConnection(), 0);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{msgClosedConnection, msgClosedConnection}));
  EXPECT_FALSE(fs::exists(control));
  EXPECT_FALSE(engine.InProgress());
  EXPECT_FALSE(engine.HintConnect());
}

TEST_F(Connection, StopWithoutOpenHandleStillReportsClosedOnce) {
  EXPECT_EQ(engine.StopConnection(), 0);
  EXPECT_EQ(engine.Idents(), std::vector<int>{msgClosedConnection});
}

TEST_F(Connection, StopForFileUpdateDeletesControlFileSilently) {
  engine.UpdateType = fileUpdate;
  const fs::path control = sandbox.temp() / "local.inf";
  WriteFile(control, "x");
  engine.SetControlFileName(control.string());
  EXPECT_EQ(engine.StopConnection(), 0);
  EXPECT_TRUE(engine.reports.empty());
  EXPECT_FALSE(fs::exists(control));
}

TEST_F(Connection, FtpConnectToRefusedPortFails) {
  engine.UpdateType = ftpUpdate;
  engine.URL = "ftp://127.0.0.1/x";
  engine.Host = "127.0.0.1";
  engine.Port = FreePort();
  ASSERT_EQ(engine.StartConnection(), 0);
  EXPECT_EQ(engine.FTPConnect(), -1);
  EXPECT_FALSE(engine.HintConnect());
  engine.Error();
  ASSERT_NE(engine.Find(msgSystemError), nullptr);
  EXPECT_EQ(engine.Find(msgSystemError)->error, 12029);
}

}  // namespace
}  // namespace zephron::test
