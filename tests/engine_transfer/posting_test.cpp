// The post-update request (against a server on port 80 of a loopback
// address: 127.0.0.2 where the test starts it, the servers fixture's
// otherwise) and the persisted control-file location.
#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "tests/engine_transfer/transfer_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

class PostServer : public ScriptHttpServer {
 public:
  PostServer() : ScriptHttpServer("127.0.0.2", 80) {}
};

class Posting : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SharedServer<PostServer>::Start(); }
  static void TearDownTestSuite() { SharedServer<PostServer>::Stop(); }
  void SetUp() override {
    ZEPHRON_REQUIRE_SERVER(PostServer);
    engine.PostUpdateInfo.Server = SharedServer<PostServer>::Get()->address();
    engine.PostUpdateInfo.Action = "/register.php";
    engine.PostUpdateInfo.Enabled = true;
  }

  Sandbox sandbox;
  RecordingEngine engine;
};

TEST_F(Posting, SendsFormDataAndKeepsTheWholeAnswer) {
  engine.PostUpdateInfo.Data = "product=app&version=1.2";
  engine.DoPostUpdateInfo();
  EXPECT_EQ(engine.PostUpdateInfo.PostResult,
            "POST /register.php\napplication/x-www-form-urlencoded\n\nproduct=app&version=1.2");
  EXPECT_TRUE(engine.reports.empty());
}

TEST_F(Posting, AnswerLongerThanOneBlockArrivesByteForByte) {
  std::string data(20000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  engine.PostUpdateInfo.Data = data;
  engine.DoPostUpdateInfo();
  const std::string expected = "POST /register.php\napplication/x-www-form-urlencoded\n\n" + data;
  ASSERT_EQ(engine.PostUpdateInfo.PostResult.size(), expected.size());
  EXPECT_TRUE(engine.PostUpdateInfo.PostResult == expected);
}

TEST_F(Posting, EngineProxyIsNotUsedForThePost) {
  engine.Proxy = "127.0.0.1:" + std::to_string(FreePort());
  engine.PostUpdateInfo.Data = "a=1";
  engine.DoPostUpdateInfo();
  EXPECT_NE(engine.PostUpdateInfo.PostResult.find("a=1"), std::string::npos);
}

TEST_F(Posting, EmptyServerSendsNothingAndKeepsOldResult) {
  engine.PostUpdateInfo.Server.clear();
  engine.PostUpdateInfo.PostResult = "earlier";
  engine.DoPostUpdateInfo();
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, "earlier");
  EXPECT_TRUE(engine.reports.empty());
}

TEST_F(Posting, UnreachableServerLeavesResultEmptyWithoutReport) {
  engine.PostUpdateInfo.Server = "127.0.0.3";
  engine.PostUpdateInfo.PostResult = "earlier";
  engine.DoPostUpdateInfo();
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, "");
  EXPECT_TRUE(engine.reports.empty());
}

class LastUrl : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.LastURLEntry.Save = true;
    engine.LastURLEntry.Key = "Software\\Corvexis\\Updater";
    engine.LastURLEntry.Section = "App";
  }
  Sandbox sandbox;
  RecordingEngine engine;
};

TEST_F(LastUrl, PutThenGetReturnsStoredUrl) {
  engine.URLPut("http://new.example/app/");
  EXPECT_EQ(engine.URLGet(), "http://new.example/app/");
  const auto key = platform::RegistryKey::Open(platform::Hive::CurrentUser, "Software\\Corvexis\\Updater\\App");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("LastURL").value_or("?"), "http://new.example/app/");
}

TEST_F(LastUrl, MachineRootWritesMachineHive) {
  engine.LastURLEntry.RegRoot = lurLOCALMACHINE;
  engine.URLPut("ftp://m/");
  EXPECT_EQ(engine.URLGet(), "ftp://m/");
  EXPECT_FALSE(platform::KeyExists(platform::Hive::CurrentUser, "Software\\Corvexis\\Updater\\App"));
}

TEST_F(LastUrl, StoredUrlIsReadFromAHiveThatCannotBeWrittenOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "the lock of a hive file is the file-based registry's";
#endif
  engine.LastURLEntry.RegRoot = lurLOCALMACHINE;
  engine.URLPut("http://machine/");
  // The hive's lock cannot be taken, so nothing can be written to it.
  const auto lock = sandbox.registryDir() / "HKEY_LOCAL_MACHINE.lock";
  std::filesystem::remove(lock);
  std::filesystem::create_directory(lock);
  ASSERT_FALSE(platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Other"));
  EXPECT_EQ(engine.URLGet(), "http://machine/");
}

TEST_F(LastUrl, WithoutSaveNothingIsStoredOrRead) {
  engine.URLPut("http://stored/");
  engine.LastURLEntry.Save = false;
  engine.URLPut("http://other/");
  EXPECT_EQ(engine.URLGet(), "");
  engine.LastURLEntry.Save = true;
  EXPECT_EQ(engine.URLGet(), "http://stored/");
}

TEST_F(LastUrl, GetOnFreshMachineCreatesKeyWithoutSubkey) {
  EXPECT_EQ(engine.URLGet(), "");
  EXPECT_TRUE(platform::KeyExists(platform::Hive::CurrentUser, "Software\\Corvexis\\Updater"));
  EXPECT_FALSE(platform::KeyExists(platform::Hive::CurrentUser, "Software\\Corvexis\\Updater\\App"));
}

}  // namespace
}  // namespace zephron::test
