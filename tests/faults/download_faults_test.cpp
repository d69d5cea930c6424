// Server faults in the middle of a file download during an update pass, and
// a full disk under the download or the installation folder: each leaves the
// installed file as it was, leaves no partial or temporary file, and is
// reported with its status numbers.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fileupdate/update_fixture.h"
#include "tests/support/servers.h"
#include "transfer/messages.h"
#include "transfer/url.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOld = "installed contents";

class DownloadFaults : public UpdateFixture {
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
    UpdateFixture::SetUp();
    ZEPHRON_REQUIRE_SERVER(NginxServer);
    ZEPHRON_REQUIRE_SERVER(ScriptHttpServer);
    nginx = SharedServer<NginxServer>::Get();
    script = SharedServer<ScriptHttpServer>::Get();
    engine.UpdateType = httpUpdate;
    engine.ReceiveTimeOut = 400;
  }
  void TearDown() override {
    for (const auto& folder : mounted) umount2(folder.c_str(), MNT_DETACH);
    UpdateFixture::TearDown();
  }
  // An update of one installed file (named as the location names it) in the
  // installation folder; runs the update pass.
  void UpdateFrom(const std::string& url, const std::string& extra = "") {
    for (const auto& entry : fs::directory_iterator(app)) fs::remove_all(entry.path());
    installed = app / url::URLtoFile(url);
    WriteFile(installed, kOld);
    const std::string name = "faults/" + std::to_string(++serial) + ".inf";
    WriteFile(nginx->DocRoot() / name, "[update]\nunconditional=1\n[files]\ncount=1\n[file1]\nurl=" + url +
                                           "\nlocalversion=" + installed.filename().string() +
                                           "\ntargetdir=" + app.string() + "\n" + extra);
    engine.URL = nginx->Url("/" + name);
    engine.reports.clear();
    engine.DoUpdate(false);
  }
  // What the installation and the download folder hold besides that file.
  std::string Leftovers() {
    std::string found;
    for (const fs::path& folder : {app, sandbox.temp()}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path() != installed && entry.path().filename() != "lost+found") {
          found += entry.path().string() + "\n";
        }
      }
    }
    return found;
  }
  std::string Reports() const {
    std::string all;
    for (const auto& r : engine.reports) {
      all += std::to_string(r.ident) + " " + r.arg + " " + std::to_string(r.status) + "/" +
             std::to_string(r.error) + "\n";
    }
    return all;
  }
  void ExpectDownloadFailure() {
    const auto* report = engine.Find(msgCannotDownloadUpdate);
    ASSERT_NE(report, nullptr) << Reports();
    EXPECT_EQ(report->status, 2);
    EXPECT_EQ(report->error, 9);
  }
  // A tmpfs of the given size over folder (the tests run as root in CI).
  void Mount(const fs::path& folder, const std::string& size) {
    fs::create_directories(folder);
    ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()), 0)
        << "mounting a tmpfs needs root: " << std::strerror(errno);
    mounted.push_back(folder);
  }

  NginxServer* nginx = nullptr;
  ScriptHttpServer* script = nullptr;
  std::vector<fs::path> mounted;
  fs::path installed;
  int serial = 0;
};

TEST_F(DownloadFaults, BrokenBodiesLeaveTheInstalledFileAndAreReported) {
  struct Case {
    const char* path;
    int error;  // of the system-error report
  };
  for (const Case& c : {Case{"/cut", 12030}, Case{"/reset", 12030}, Case{"/stall", 12002}}) {
    SCOPED_TRACE(c.path);
    UpdateFrom(script->Url(c.path));
    EXPECT_EQ(ReadFile(installed), kOld);
    EXPECT_EQ(Leftovers(), "");
    const auto* system = engine.Find(msgSystemError);
    ASSERT_NE(system, nullptr) << Reports();
    EXPECT_EQ(system->error, c.error) << Reports();
    ExpectDownloadFailure();
  }
}

TEST_F(DownloadFaults, ServerErrorLeavesTheInstalledFileAndIsReported) {
  UpdateFrom(script->Url("/status500"));
  EXPECT_EQ(ReadFile(installed), kOld);
  EXPECT_EQ(Leftovers(), "");
  ExpectDownloadFailure();
}

TEST_F(DownloadFaults, BodyLongerThanAnnouncedInstallsOnlyTheAnnouncedBytes) {
  UpdateFrom(script->Url("/long"));
  EXPECT_EQ(ReadFile(installed), std::string(1000, 'L')) << Reports();
  EXPECT_EQ(Leftovers(), "");
}

TEST_F(DownloadFaults, ChecksumMismatchInstallsTheWholeFileAndTheNextCheckStillFindsTheUpdate) {
  // The announced checksum decides whether the local file is current; a
  // download that does not match it is installed whole, and the product
  // stays out of date, so the next check offers the update again.
  WriteFile(nginx->DocRoot() / "faults/checked.bin", "served contents");
  UpdateFrom(nginx->Url("/faults/checked.bin"), "newchecksum=12345\n");
  EXPECT_EQ(ReadFile(installed), "served contents") << Reports();
  EXPECT_EQ(Leftovers(), "");
  engine.reports.clear();
  EXPECT_TRUE(engine.NewVersionAvailable(false)) << Reports();
}

TEST_F(DownloadFaults, FullDiskReportsAndWritesNothingHalf) {
  WriteFile(nginx->DocRoot() / "faults/big.bin", Pattern(256 * 1024));
  struct Case {
    const char* name;
    bool installationFull;
    bool downloadToTemp;  // UseWinTempDir; the updater itself downloads into the installation folder
    int ident;
  };
  for (const Case& c : {Case{"download folder full", false, true, msgCannotDownloadUpdate},
                        Case{"installation folder full", true, false, msgCannotDownloadUpdate},
                        Case{"installation full after a download elsewhere", true, true, msgCannotRenameFile}}) {
    SCOPED_TRACE(c.name);
    const fs::path full = c.installationFull ? app : sandbox.temp();
    Mount(full, "64k");
    fs::current_path(app);
    engine.UseWinTempDir = c.downloadToTemp;
    UpdateFrom(nginx->Url("/faults/big.bin"));
    EXPECT_EQ(ReadFile(installed), kOld);
    EXPECT_EQ(Leftovers(), "");
    EXPECT_NE(engine.Find(c.ident), nullptr) << Reports();
    fs::current_path(sandbox.root());
    ASSERT_EQ(umount2(full.c_str(), MNT_DETACH), 0);
    mounted.pop_back();
  }
}

}  // namespace
}  // namespace zephron::test
