// Retrievals that unpack what they fetched, over HTTP and from a folder: an
// SZDD file expanded beside its target, a cabinet extracted into it and
// deleted unless intermediate files are kept, and the downloaded-file hook
// called for the file as it arrived. The packed files are made by the
// third-party tools (mscompress, gcab); a Windows test program cannot start
// those Linux tools, so there the tests' own writers of the formats make them.
#include <filesystem>
#include <string>

#include "tests/engine_transfer/transfer_fixture.h"
#ifdef _WIN32
#include "archive/szdd_compress.h"
#include "tests/archive/cab_writer.h"
#endif

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

struct Transport {
  const char* name;
  TZephronType type;
};

class Unpacking : public ::testing::TestWithParam<Transport> {
 protected:
  static void SetUpTestSuite() { SharedServer<NginxServer>::Start(); }
  static void TearDownTestSuite() { SharedServer<NginxServer>::Stop(); }

  void SetUp() override {
    ZEPHRON_REQUIRE_SERVER(NginxServer);
    nginx = SharedServer<NginxServer>::Get();
    share = sandbox.root() / "share";
    target = sandbox.root() / "target";
    fs::create_directories(share);
    fs::create_directories(target);
    engine.UpdateType = GetParam().type;
    engine.UpdateUpdate = zpuSilent;
    engine.OnFileDownloaded = [this](TZephron&, const std::string& file) { downloaded.push_back(file); };
    if (engine.UpdateType == httpUpdate) {
      ASSERT_EQ(engine.StartConnection(), 0);
    }
    for (int i = 0; i < 300; ++i) data += "record " + std::to_string(i) + "\n";
  }
  void TearDown() override {
    if (engine.InProgress()) engine.StopConnection();
  }
  // Publishes a file made in the share folder and gives its location.
  std::string Publish(const std::string& name) {
    const std::string bytes = ReadFile(share / name);
    if (engine.UpdateType == fileUpdate) return (share / name).string();
    WriteFile(nginx->DocRoot() / "unpack" / name, bytes);
    return nginx->Url("/unpack/" + name);
  }
  std::string Compressed() {
#ifdef _WIN32
    // Named as mscompress names it, with "_" added: no letter is missing.
    WriteFile(share / "records.txt_", SzddCompress(data, '\0'));
#else
    WriteFile(share / "records.txt", data);
    EXPECT_EQ(RunProgram({"mscompress", (share / "records.txt").string()}).exitCode, 0);
    fs::remove(share / "records.txt");
#endif
    return Publish("records.txt_");
  }
  std::string Cabinet() {
#ifdef _WIN32
    WriteFile(share / "pack.cab", MakeStoredCabinet({{"inner.txt", data}}));
#else
    WriteFile(sandbox.root() / "cab/inner.txt", data);
    const auto previous = fs::current_path();
    fs::current_path(sandbox.root() / "cab");
    EXPECT_EQ(RunProgram({"gcab", "-c", (share / "pack.cab").string(), "inner.txt"}).exitCode, 0);
    fs::current_path(previous);
#endif
    return Publish("pack.cab");
  }
  bool Get(const std::string& url) { return engine.URLGetFile(engine.HintConnect(), url, true, target.string() + "/"); }

  Sandbox sandbox;
  NginxServer* nginx = nullptr;
  RecordingEngine engine;
  fs::path share;
  fs::path target;
  std::string data;
  std::vector<std::string> downloaded;
};

TEST_P(Unpacking, CompressedFileIsExpandedBesideItsTarget) {
  ASSERT_TRUE(Get(Compressed()));
  EXPECT_TRUE(ReadFile(target / "records.txt") == data);
  EXPECT_FALSE(fs::exists(target / "records.txt_"));
  EXPECT_EQ(downloaded, std::vector<std::string>{(target / "records.txt_").generic_string()});
}

TEST_P(Unpacking, CabinetIsExtractedAndDeletedUnlessIntermediateFilesAreKept) {
  const std::string url = Cabinet();
  ASSERT_TRUE(Get(url));
  EXPECT_TRUE(ReadFile(target / "inner.txt") == data);
  EXPECT_FALSE(fs::exists(target / "pack.cab"));
  EXPECT_EQ(downloaded, std::vector<std::string>{(target / "pack.cab").generic_string()});

  fs::remove(target / "inner.txt");
  engine.KeepIntermediateFiles = true;
  ASSERT_TRUE(Get(url));
  EXPECT_TRUE(ReadFile(target / "inner.txt") == data);
  EXPECT_TRUE(fs::exists(target / "pack.cab"));
}

INSTANTIATE_TEST_SUITE_P(Transports, Unpacking,
                         ::testing::Values(Transport{"Http", httpUpdate}, Transport{"Folder", fileUpdate}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zephron::test
