// The publisher through real processes: a release published into a location
// served by nginx (or FTP), zephron-cli update run against it, and the
// installation then the new release byte for byte once the setup program
// has finished; --check on damaged publications; the releases it refuses.
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/version_info_writer.h"
#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"
#include "tests/version/pe_writer.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

// A program with a version resource, as the catalogue reads it.
std::string Program(const std::string& version, const std::string& filler) {
  const auto content = platform::MakeVersionContent({version, version, "Vardel Quillon", "Corvexis", "program"});
  std::string bytes = MakePe(TypicalPe(*platform::BuildVersionInfo(*content), false));
  return bytes + filler;
}

// Each file's path with its size and a hash of its bytes. The setup program
// the engine wrote into its download folder (the installation) is the
// engine's, not the release's.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const std::string path = fs::relative(item.path(), folder).generic_string();
    if (!item.is_regular_file() || path == "zephronsetup.exe") continue;
    const std::string bytes = ReadFile(item.path());
    files[path] = std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>{}(bytes));
  }
  return files;
}

class Publisher : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    const char* path = std::getenv("PATH");
    sandbox.SetEnv("PATH", (BuildDir() / "tools/patcher").string() + ":" + (path ? path : "/usr/bin:/bin"));
    std::string data, library;
    for (int i = 0; i < 3000; ++i) data += "record " + std::to_string(i) + "\n";
    for (int i = 0; i < 4000; ++i) library += static_cast<char>((i * 7919) % 251);
    v1 = sandbox.root() / "v1";
    v2 = sandbox.root() / "v2";
    WriteFile(v1 / "Quillon.exe", Program("1.0.0.0", library));
    WriteFile(v1 / "lib.exe", library + "one");
    WriteFile(v1 / "readme.txt", "read me");
    WriteFile(v1 / "sub/data.txt", data);
    WriteFile(v2 / "Quillon.exe", Program("2.0.0.0", library + "2"));
    WriteFile(v2 / "lib.exe", library + "two");
    WriteFile(v2 / "readme.txt", "read me");
    WriteFile(v2 / "sub/data.txt", data + "more\n");
    WriteFile(v2 / "sub/deep/new.txt", "new in two");
    WriteFile(v2 / "sub/my notes.txt", "a name with a blank");
  }

  ProcessResult Run(const std::string& tool, std::vector<std::string> args) {
    args.insert(args.begin(), (BuildDir() / tool).string());
    return RunProgram(args);
  }
  ProcessResult Publish(const fs::path& location, const std::string& url, std::vector<std::string> extra,
                        const std::string& product = "quillon", const fs::path& release = {}) {
    std::vector<std::string> args{(release.empty() ? v2 : release).string(), location.string(), "--product",
                                  product, "--url", url};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run("tools/zephron-publish/zephron-publish", args);
  }
  fs::path InstallV1(const std::string& product = "Vardel Quillon") {
    const fs::path folder = sandbox.root() / "install" / product;
    fs::create_directories(folder);
    fs::copy(v1, folder, fs::copy_options::recursive);
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
    EXPECT_TRUE(key && key->WriteString("InstallPath", folder.string()));
    return folder;
  }
  void Locate(const std::string& url, const std::string& product = "Vardel Quillon") {
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
    ASSERT_TRUE(key && key->WriteString("UpdateURL", url));
  }
  // Updates, then waits (bounded) for the setup program's last log line.
  void UpdateAndAwaitSetup() {
    const ProcessResult result = Run("app/cli/zephron-cli", {"update", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const fs::path log = sandbox.documents() / "ZEPHRON.LOG";
    for (int i = 0; i < 400 && ReadFile(log).find("UPD has EXE restarted") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(ReadFile(log).find("UPD has EXE restarted"), std::string::npos) << result.output << ReadFile(log);
  }

  fs::path v1, v2;
};

struct RoundTrip {
  const char* pack;
  bool previous;
};
void PrintTo(const RoundTrip& trip, std::ostream* out) { *out << trip.pack << (trip.previous ? " --previous" : ""); }

class PublishRoundTrip : public Publisher, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(PublishRoundTrip, UpdateFromNginxMakesTheInstallationTheNewRelease) {
  NginxServer nginx;
  const fs::path folder = InstallV1();
  std::vector<std::string> extra{"--pack", GetParam().pack};
  if (GetParam().previous) extra.insert(extra.end(), {"--previous", v1.string()});
  const ProcessResult published = Publish(nginx.DocRoot() / "updates", nginx.Url("/updates/"), extra);
  ASSERT_EQ(published.exitCode, 0) << published.output;
  // Only what changed travels: the unchanged readme is skipped by its checksum.
  EXPECT_EQ(GetParam().previous, published.output.find("lib.pat: patch of lib.exe") != std::string::npos)
      << published.output;
  Locate(nginx.Url("/updates/"));
  UpdateAndAwaitSetup();
  EXPECT_EQ(Tree(folder), Tree(v2));
  if (std::string(GetParam().pack) != "cab") {
    for (const std::string& line : nginx.AccessLog()) EXPECT_EQ(line.find("readme.txt"), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Packs, PublishRoundTrip,
                         ::testing::Values(RoundTrip{"plain", false}, RoundTrip{"plain", true},
                                           RoundTrip{"compress", false}, RoundTrip{"compress", true},
                                           RoundTrip{"cab", false}, RoundTrip{"cab", true}),
                         [](const auto& info) {
                           return std::string(info.param.pack) + (info.param.previous ? "WithPrevious" : "Whole");
                         });

TEST_F(Publisher, UpdateOverFtpMakesTheInstallationTheNewRelease) {
  FtpServer ftp;
  const fs::path folder = InstallV1();
  const std::string base = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/pub/";
  const ProcessResult published =
      Publish(ftp.AnonymousRoot() / "pub", base, {"--pack", "compress", "--previous", v1.string()});
  ASSERT_EQ(published.exitCode, 0) << published.output;
  Locate(base);
  UpdateAndAwaitSetup();
  EXPECT_EQ(Tree(folder), Tree(v2));
}

TEST_F(Publisher, DateBasedTendwellGetsItsProgramRenamedInPlace) {
  NginxServer nginx;
  fs::rename(v1 / "Quillon.exe", v1 / "Tendwell.exe");
  fs::rename(v2 / "Quillon.exe", v2 / "Tendwell.exe");
  const fs::path folder = InstallV1("Tendwell");
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(folder / "Tendwell.exe", now - std::chrono::hours(48));
  fs::last_write_time(v2 / "Tendwell.exe", now - std::chrono::hours(24));
  const ProcessResult published = Publish(nginx.DocRoot() / "updates", nginx.Url("/updates/"), {"--date"}, "tendwell");
  ASSERT_EQ(published.exitCode, 0) << published.output;
  const std::string inf = ReadFile(nginx.DocRoot() / "updates/tendwell/tendwell.INF");
  EXPECT_NE(inf.find("[application]\r\nappname=Tendwell.exe\r\nappcomps=Tendwell-1.new\r\n"), std::string::npos) << inf;
  Locate(nginx.Url("/updates/"), "Tendwell");
  const ProcessResult result = Run("app/cli/zephron-cli", {"update", "--yes"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(Tree(folder), Tree(v2));
}

TEST_F(Publisher, CheckReportsADamagedAndAMissingFileAndASoundPublicationPasses) {
  const fs::path location = sandbox.root() / "location";
  ASSERT_EQ(Publish(location, "http://updates.example/", {"--pack", "compress"}).exitCode, 0);
  const auto check = [&] { return Run("tools/zephron-publish/zephron-publish", {"--check", location.string(),
                                                                               "--product", "quillon"}); };
  const ProcessResult sound = check();
  EXPECT_EQ(sound.exitCode, 0) << sound.output;
  std::string readme = ReadFile(location / "quillon/readme.txt");
  readme[0] ^= 1;
  WriteFile(location / "quillon/readme.txt", readme);
  fs::remove(location / "quillon/data.tx_");
  WriteFile(location / "quillon/quillon.INF", ReadFile(location / "quillon/quillon.INF") + "[extra]\nkey = padded \n");
  const ProcessResult damaged = check();
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_NE(damaged.output.find("readme.txt installs checksum"), std::string::npos) << damaged.output;
  EXPECT_NE(damaged.output.find("data.tx_ is missing"), std::string::npos) << damaged.output;
  EXPECT_NE(damaged.output.find("key reads as \"padded\", not as written"), std::string::npos) << damaged.output;
}

TEST_F(Publisher, RefusesWhatTheUpdaterCannotCarry) {
  const fs::path location = sandbox.root() / "location";
  const auto refused = [&](const fs::path& release, const fs::path& where, const std::string& why) {
    const ProcessResult run = Publish(where, "http://updates.example/", {}, "quillon", release);
    EXPECT_EQ(run.exitCode, 1) << why;
    EXPECT_NE(run.output.find(why), std::string::npos) << run.output;
  };
  const fs::path bad = sandbox.root() / "bad";
  fs::copy(v2, bad, fs::copy_options::recursive);
  fs::remove(bad / "Quillon.exe");
  refused(bad, location, "the release has no Quillon.exe at its top");
  WriteFile(bad / "Quillon.exe", Program("2.0.0.0", ""));
  WriteFile(bad / "sub/what?.txt", "x");
  refused(bad, location, "\"sub/what?.txt\" holds a character Windows does not allow");
  fs::remove(bad / "sub/what?.txt");
  WriteFile(bad / "Sub/other.txt", "x");
  refused(bad, location, "differ only in case");
  refused(v2, v2 / "site", "lies inside the release");
  EXPECT_FALSE(fs::exists(location / "quillon"));
  EXPECT_FALSE(fs::exists(v2 / "site"));
}

}  // namespace
}  // namespace zephron::test
