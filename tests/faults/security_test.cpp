// What a hostile or impostor server cannot do to an installation through
// zephron-cli: be trusted over TLS with a certificate nobody vouches for,
// or make a control file, a cabinet or a file name write outside the
// product's folder.
#include <filesystem>

#include "tests/archive/cab_writer.h"
#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class HostileServer : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    folder = Install("Tendwell", "Tendwell.exe", "tw");
    // The location's page: a base URL with a body is used itself.
    WriteFile(nginx.DocRoot() / "index.html", "<html>updates</html>");
  }
  ProcessResult Update(const std::string& location) {
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\Tendwell");
    EXPECT_TRUE(key && key->WriteString("UpdateURL", location));
    return RunProgram({(BuildDir() / "app/cli/zephron-cli").string(), "update", "--yes"});
  }
  // Every file of the sandbox outside the installation folder and the
  // updater's own folders that the pass created.
  std::vector<std::string> Strays() const {
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(sandbox.root()); it != fs::recursive_directory_iterator(); ++it) {
      const fs::path& p = it->path();
      if (p.filename() == "evil.txt" || p.filename() == "root.txt") found.push_back(p.string());
    }
    return found;
  }

  NginxServer nginx;
  fs::path folder;
};

TEST_F(HostileServer, SelfSignedCertificateIsRefusedByDefault) {
  WriteFile(nginx.DocRoot() / "tendwell/tendwell.INF",
            "[update]\nlocalversion=Tendwell.exe\nnewsize=50\nnewversion=5.0\n[files]\ncount=1\n"
            "[file1]\nurl=extra.txt\ndescr=Extra\n");
  WriteFile(nginx.DocRoot() / "tendwell/extra.txt", "extra");
  const ProcessResult result = Update(nginx.TlsUrl("/"));
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_FALSE(fs::exists(folder / "extra.txt"));
}

TEST_F(HostileServer, ClimbingNamesInControlFileAndCabinetStayInsideTheInstallation) {
  CabPart cab;
  cab.blocks.push_back({"goodevilroot", 12});
  cab.entries.push_back({"good.txt", 4, 0});
  cab.entries.push_back({"..\\..\\evil.txt", 4, 4});
  cab.entries.push_back({"\\" + (sandbox.root() / "root.txt").relative_path().string(), 4, 8});
  WriteFile(nginx.DocRoot() / "tendwell/docs.cab", WriteCabinet(cab));
  // Served under a name that climbs when "\\" is taken as a separator.
  WriteFile(nginx.DocRoot() / "tendwell" / "..\\..\\evil.txt", "evil");
  WriteFile(nginx.DocRoot() / "tendwell/tendwell.INF",
            "[update]\nlocalversion=Tendwell.exe\nnewsize=50\nnewversion=5.0\n[files]\ncount=2\n"
            "[file1]\nurl=docs.cab\ncompressed=1\ndescr=Documents\n"
            "[file2]\nurl=" + nginx.Url("/tendwell/..\\..\\evil.txt") + "\ndescr=Climbing name\n");
  const ProcessResult result = Update(nginx.Url("/"));
  EXPECT_EQ(ReadFile(folder / "good.txt"), "good") << result.output;
  EXPECT_EQ(Strays(), std::vector<std::string>{(folder / "evil.txt").string()}) << result.output;
}

}  // namespace
}  // namespace zephron::test
