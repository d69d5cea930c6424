// The version check end to end: control files fetched from a file location,
// the real nginx and the real FTP server, each kind of comparison, the
// answers, the version texts and the status sequence.
#include <filesystem>

#include "archive/crc32.h"
#include "platform/special_folders.h"
#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

// ---- Result codes, on control files in a local folder ----

class VersionCheckCodes : public ::testing::Test {
 protected:
  void SetUp() override {
    site = sandbox.root() / "site";
    fs::create_directories(site);
    engine.UpdateType = fileUpdate;
    engine.UpdateUpdate = zpuSilent;
    engine.URL = (site / "app.inf").string();
  }
  // Publishes the control file and runs GetControlFile and DoVersionCheck.
  int Check(const std::vector<Section>& sections) {
    WriteFile(site / "app.inf", ControlFile(sections));
    engine.reports.clear();
    const int found = engine.GetControlFile();
    if (found != 0) return -found;
    return engine.DoVersionCheck();
  }
  // The file's path as the engine gives paths back, with "/".
  std::string Local(const std::string& name, const std::string& bytes) {
    WriteFile(sandbox.root() / name, bytes);
    return (sandbox.root() / name).generic_string();
  }

  Sandbox sandbox;
  fs::path site;
  CheckEngine engine;
};

TEST_F(VersionCheckCodes, EachKindOfCheckHasItsCode) {
  const std::string data = Local("data.bin", "0123456789");
  WriteVersionedFile(sandbox.root() / "app.exe", 0x00010000, 0);
  const std::string exe = (sandbox.root() / "app.exe").string();

  EXPECT_EQ(Check({{"update", {"date=01/01/2090"}}}), 6);
  EXPECT_EQ(Check({{"update", {"date=01/01/1979"}}}), 7);
  EXPECT_EQ(Check({{"update", {"date=01/01/1979", "unconditional=yes"}}}), 8);
  EXPECT_EQ(Check({{"update", {"unconditional=1"}}}), 8);
  EXPECT_EQ(Check({{"update", {"localversion=" + data, "newsize=11"}}}), 9);
  EXPECT_EQ(Check({{"update", {"localversion=" + data, "newsize=10"}}}), 7);
  EXPECT_EQ(Check({{"update", {"localversion=" + data, "newchecksum=1"}}}), 10);
  EXPECT_EQ(Check({{"update", {"localversion=" + exe, "newversion=1.0.0.1"}}}), 11);
  EXPECT_EQ(Check({{"update", {"localversion=" + exe, "newversion=1.0"}}}), 7);
  EXPECT_EQ(Check({{"update", {"descr=nothing to compare"}}}), 7);
  EXPECT_EQ(engine.UpdateDescription(), "nothing to compare");
}

TEST_F(VersionCheckCodes, NoLocalFileMeansNoComparison) {
  EXPECT_EQ(Check({{"update", {"newversion=9.9", "newsize=5", "newchecksum=3"}}}), 7);
  EXPECT_EQ(engine.CheckIdents(), std::vector<int>{msgControlFileFound});
  EXPECT_EQ(engine.NewVersionInfo(), "9.9");
  EXPECT_EQ(engine.CurVersionInfo(), "");
}

TEST_F(VersionCheckCodes, CustomValidateDecidesAndSeesSectionCustom) {
  std::string msg, param;
  bool preset = true;
  engine.OnCustomValidate = [&](TZephron&, const std::string& m, const std::string& p, bool& allow) {
    msg = m;
    param = p;
    preset = allow;
    allow = true;
  };
  EXPECT_EQ(Check({{"update", {"date=01/01/1979"}}, {"custom", {"validatemsg=ask", "validateparam=42"}}}), 12);
  EXPECT_FALSE(preset);
  EXPECT_EQ(msg, "ask");
  EXPECT_EQ(param, "42");

  engine.OnCustomValidate = [&](TZephron&, const std::string&, const std::string&, bool& allow) {
    preset = allow;
    allow = false;
  };
  EXPECT_EQ(Check({{"update", {"unconditional=1"}}}), 7);
  EXPECT_TRUE(preset);
}

TEST_F(VersionCheckCodes, DateAgainstStoredDateWithAndWithoutTime) {
  UseRegistryPlace(engine);
  StoreValue("LastDate", "2026-03-15");
  StoreValue("LastTime", "10:30:00");
  EXPECT_EQ(Check({{"update", {"date=15/03/2026", "time=10:30"}}}), 7);
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgDateBasedUpdate, msgNoNewVersion}));
  EXPECT_EQ(engine.Find(msgNoNewVersion)->status, 4);
  EXPECT_EQ(engine.CurVersionDate(), Date(2026, 3, 15, 10, 30));
  EXPECT_TRUE(engine.SaveUpdate());

  EXPECT_EQ(Check({{"update", {"date=15/03/2026", "time=10:31"}}}), 6);
  EXPECT_EQ(engine.NewVersionDate(), Date(2026, 3, 15, 10, 31));
  const auto* found = engine.Find(msgNewVersionFound);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->arg, "15/03/2026");
  EXPECT_EQ(found->status, 5);

  // Without time the release is at midnight, before the stored 10:30.
  EXPECT_EQ(Check({{"update", {"date=15/03/2026"}}}), 7);
  EXPECT_EQ(Check({{"update", {"date=16/03/2026"}}}), 6);
}

TEST_F(VersionCheckCodes, DateAgainstLocalversionFileTime) {
  const std::string local = Local("app.exe", "installed now");
  EXPECT_EQ(Check({{"update", {"date=01/01/2000", "localversion=" + local}}}), 7);
  EXPECT_EQ(engine.LocalFileDateCheck(), local);
  EXPECT_EQ(Check({{"update", {"date=01/01/2090", "localversion=" + local}}}), 6);
  // A missing local file and no registry place: every dated release is new.
  EXPECT_EQ(Check({{"update", {"date=01/01/1981", "localversion=" + local + ".gone"}}}), 6);
  EXPECT_FALSE(engine.SaveUpdate());
}

TEST_F(VersionCheckCodes, EngineDateFormatReadsTheControlFile) {
  engine.DateFormat = "yyyy/mm/dd";
  engine.DateSeparator = '-';
  EXPECT_EQ(Check({{"update", {"date=2090-01-02"}}}), 6);
  EXPECT_EQ(engine.NewVersionDate(), Date(2090, 1, 2));
  EXPECT_EQ(engine.Find(msgNewVersionFound)->arg, "2090-01-02");
  // A date the format does not read is 1 January 1980, not newer than the preset.
  EXPECT_EQ(Check({{"update", {"date=02/01/2090"}}}), 7);
}

TEST_F(VersionCheckCodes, ResultsOfAnEarlierCheckDoNotCarryOver) {
  WriteVersionedFile(sandbox.root() / "app.exe", 0x00010000, 0);
  EXPECT_EQ(Check({{"update", {"localversion=" + (sandbox.root() / "app.exe").string(), "newversion=2.0"}}}), 11);
  EXPECT_EQ(engine.NewVersionInfo(), "2.0.0.0");
  UseRegistryPlace(engine);
  EXPECT_EQ(Check({{"update", {"date=01/01/2090"}}}), 6);
  EXPECT_TRUE(engine.SaveUpdate());
  EXPECT_EQ(engine.NewVersionInfo(), "");  // not the other product's version
  EXPECT_EQ(engine.CurVersionInfo(), "");
  EXPECT_EQ(Check({{"update", {"unconditional=1"}}}), 8);
  EXPECT_FALSE(engine.SaveUpdate());  // this product's date was never read
  EXPECT_EQ(engine.NewVersionDate(), 0);
}

TEST_F(VersionCheckCodes, ApplicationSectionIsRead) {
  std::string seen = "unset";
  engine.OnSetAppParams = [&](TZephron&, std::string& params) { seen = params; };
  const int code = Check({{"application",
                           {"appupdate=1", "appname={APP}\\bin\\prog.exe", "appcomps=prog.exe;lib.dll",
                            "silentrestart=1"}}});
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(engine.AppClose());
  EXPECT_EQ(engine.AppName(), engine.ConvertPrefix("APP") + "/bin/prog.exe");
  EXPECT_EQ(seen, "");
  EXPECT_EQ(engine.AppParam(), " ");
  EXPECT_EQ(engine.AppComps(), "prog.exe;lib.dll");
  EXPECT_TRUE(engine.AppSilentRestart());
  EXPECT_EQ(engine.ControlFileName(), engine.WinTempDir() + "app.inf");

  engine.OnSetAppParams = [&](TZephron&, std::string& params) { params = "/restart"; };
  Check({{"application", {"appupdate=1", "appparam=-x"}}});
  EXPECT_FALSE(engine.AppClose());  // no appname, nothing to close
  EXPECT_EQ(engine.AppParam(), "/restart");
  EXPECT_FALSE(engine.AppSilentRestart());
}

TEST_F(VersionCheckCodes, BadSignatureGives5AfterReadingEverything) {
  engine.SignatureCheck = true;
  engine.Signature = "Corvexis";
  EXPECT_EQ(Check({{"update", {"signature=corvexis"}}, {"application", {"appname=/opt/p.exe", "appparam=-a"}}}), -5);
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgInvalidSignature}));
  const auto* bad = engine.Find(msgInvalidSignature);
  EXPECT_EQ(bad->status, 11);
  EXPECT_EQ(bad->error, 4);
  EXPECT_EQ(engine.AppName(), "/opt/p.exe");
  EXPECT_EQ(engine.AppParam(), "-a");
  EXPECT_EQ(Check({{"update", {"signature=Corvexis"}}}), 7);
}

TEST_F(VersionCheckCodes, MissingControlFileReports925) {
  engine.URL = (site / "nothere.inf").string();
  EXPECT_EQ(engine.GetControlFile(), 4);
  const auto* missing = engine.Find(msgControlFileNotFound);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->status, 2);
  EXPECT_EQ(missing->error, 0);
  EXPECT_EQ(engine.Count(msgControlFileFound), 0);
  engine.URL.clear();
  engine.reports.clear();
  EXPECT_EQ(engine.GetControlFile(), 4);
  EXPECT_EQ(engine.CheckIdents(), std::vector<int>{msgControlFileNotFound});
}

TEST_F(VersionCheckCodes, StoredLastUrlReplacesUrl) {
  WriteFile(site / "moved.inf", ControlFile({{"update", {"unconditional=1"}}}));
  UseRegistryPlace(engine);
  StoreValue("LastURL", (site / "moved.inf").string());
  EXPECT_EQ(engine.GetControlFileURL(), (site / "moved.inf").string());
  EXPECT_EQ(engine.GetControlFile(), 0);
  EXPECT_EQ(engine.ControlFileName(), engine.WinTempDir() + "moved.inf");
  EXPECT_EQ(engine.DoVersionCheck(), 8);
}

// ---- End to end over the three kinds of location ----

enum class Location { File, Http, Ftp };

class NewVersionAvailableTest : public ::testing::TestWithParam<Location> {
 protected:
  static void SetUpTestSuite() {
    SharedServer<NginxServer>::Start();
    SharedServer<FtpServer>::Start();
  }
  static void TearDownTestSuite() {
    SharedServer<NginxServer>::Stop();
    SharedServer<FtpServer>::Stop();
  }

  void SetUp() override {
    engine.UpdateUpdate = zpuSilent;
    switch (GetParam()) {
      case Location::File:
        root = sandbox.root() / "site";
        fs::create_directories(root);
        engine.UpdateType = fileUpdate;
        engine.URL = (root / "app.inf").string();
        break;
      case Location::Http:
        ZEPHRON_REQUIRE_SERVER(NginxServer);
        root = SharedServer<NginxServer>::Get()->DocRoot();
        engine.UpdateType = httpUpdate;
        engine.URL = SharedServer<NginxServer>::Get()->Url("/app.inf");
        break;
      case Location::Ftp:
        ZEPHRON_REQUIRE_SERVER(FtpServer);
        root = SharedServer<FtpServer>::Get()->UserRoot();
        engine.UpdateType = ftpUpdate;
        engine.Host = "127.0.0.1";
        engine.Port = SharedServer<FtpServer>::Get()->port();
        engine.UserID = FtpServer::kUser;
        engine.Password = FtpServer::kPassword;
        engine.FTPPassive = true;
        engine.URL = "ftp://127.0.0.1/app.inf";
        break;
    }
  }
  void TearDown() override {
    std::error_code ec;
    if (GetParam() != Location::File) {
      for (const char* name : {"app.inf", "news.txt", "newsDE.txt", "eula.txt"}) fs::remove(root / name, ec);
    }
  }
  // The location of a file published next to the control file.
  std::string UrlOf(const std::string& name) const {
    switch (GetParam()) {
      case Location::File: return (root / name).string();
      case Location::Http: return SharedServer<NginxServer>::Get()->Url("/" + name);
      case Location::Ftp: return "ftp://127.0.0.1/" + name;
    }
    return {};
  }
  bool Check(const std::vector<Section>& sections) {
    WriteFile(root / "app.inf", ControlFile(sections));
    engine.reports.clear();
    return engine.NewVersionAvailable(false);
  }
  // The file's path as the engine gives paths back, with "/".
  std::string Local(const std::string& name, const std::string& bytes) {
    WriteFile(sandbox.root() / name, bytes);
    return (sandbox.root() / name).generic_string();
  }

  Sandbox sandbox;
  fs::path root;
  CheckEngine engine;
};

// The comparisons do not depend on how the control file came: they run over
// a folder location only, and the cases above and below this one that the
// transport changes run over every kind.
class ComparisonOverAFolder : public NewVersionAvailableTest {};

TEST_P(NewVersionAvailableTest, DatedReleaseAgainstStoredDate) {
  UseRegistryPlace(engine);
  engine.UpdateDatePut(Date(2026, 3, 15, 10, 30));
  EXPECT_TRUE(Check({{"update", {"date=15/03/2026", "time=11:00"}}}));
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgDateBasedUpdate, msgNewVersionFound}));
  EXPECT_EQ(engine.Find(msgNewVersionFound)->arg, "15/03/2026");
  EXPECT_EQ(engine.Find(msgControlFileFound)->status, 3);
  EXPECT_EQ(engine.Find(msgDateBasedUpdate)->status, 3);
  EXPECT_EQ(engine.CurVersionDate(), Date(2026, 3, 15, 10, 30));
  EXPECT_FALSE(engine.InProgress());

  EXPECT_FALSE(Check({{"update", {"date=15/03/2026", "time=10:30"}}}));
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgDateBasedUpdate, msgNoNewVersion}));
  EXPECT_TRUE(Check({{"update", {"date=15/03/2026", "unconditional=1"}}}));
}

TEST_P(ComparisonOverAFolder, DatedReleaseAgainstLocalversion) {
  const std::string local = Local("app.exe", "installed");
  EXPECT_FALSE(Check({{"update", {"date=31/12/1999", "localversion=" + local}}}));
  EXPECT_TRUE(Check({{"update", {"date=31/12/2089", "localversion=" + local}}}));
}

TEST_P(NewVersionAvailableTest, SizeBasedUpdate) {
  const std::string local = Local("data.bin", std::string(1000, 'd'));
  EXPECT_TRUE(Check({{"update", {"newsize=1001", "localversion=" + local}}}));
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgSizeBasedUpdate, msgNewVersionFound}));
  EXPECT_EQ(engine.NewVersionInfo(), "");
  EXPECT_EQ(engine.CurVersionInfo(), local);
  EXPECT_FALSE(Check({{"update", {"newsize=1000", "localversion=" + local}}}));
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgSizeBasedUpdate, msgNoNewVersion}));
}

TEST_P(ComparisonOverAFolder, ChecksumBasedUpdateWithCrc32AndSimpleSum) {
  const std::string local = Local("data.bin", "123456789");
  engine.UseCRC32 = true;
  const std::string crc = std::to_string(FileCRC32(local));
  EXPECT_FALSE(Check({{"update", {"newchecksum=" + crc, "newversion=2.0", "localversion=" + local}}}));
  EXPECT_EQ(engine.CheckIdents(),
            (std::vector<int>{msgControlFileFound, msgChecksumBasedUpdate, msgVersionCheck, msgNoNewVersion}));
  EXPECT_EQ(engine.Find(msgVersionCheck)->arg, "Checksum compare of " + local + ":" + crc + ":" + crc);
  EXPECT_EQ(engine.NewVersionInfo(), "2.0");
  engine.UseCRC32 = false;
  EXPECT_TRUE(Check({{"update", {"newchecksum=" + crc, "newversion=2.0", "localversion=" + local}}}));
  EXPECT_EQ(engine.Find(msgNewVersionFound)->arg, "2.0");
  EXPECT_FALSE(Check({{"update", {"newchecksum=" + std::to_string(SimpleChecksum(local)), "localversion=" + local}}}));
}

TEST_P(ComparisonOverAFolder, VersionBasedUpdateWithBothSeparators) {
  WriteVersionedFile(sandbox.root() / "app.exe", 0x00020000, 0x00010004);
  const std::string local = (sandbox.root() / "app.exe").generic_string();
  EXPECT_TRUE(Check({{"update", {"newversion=2,0,1,5", "localversion=" + local}}}));
  EXPECT_EQ(engine.CheckIdents(),
            (std::vector<int>{msgControlFileFound, msgVersionBasedUpdate, msgVersionCheck, msgNewVersionFound}));
  EXPECT_EQ(engine.Find(msgVersionCheck)->arg, "Version compare of " + local + ":2.0.1.4 with 2,0,1,5:2.0.1.5");
  EXPECT_EQ(engine.Find(msgNewVersionFound)->arg, "2.0.1.5");
  EXPECT_EQ(engine.NewVersionInfo(), "2.0.1.5");
  EXPECT_EQ(engine.CurVersionInfo(), "2.0.1.4");

  EXPECT_FALSE(Check({{"update", {"newversion=2.0.1.4", "localversion=" + local}}}));
  EXPECT_EQ(engine.NewVersionInfo(), "2.0.1.4");
  EXPECT_FALSE(Check({{"update", {"newversion=2", "localversion=" + local}}}));
  EXPECT_EQ(engine.NewVersionInfo(), "2.0.0.0");
}

TEST_P(ComparisonOverAFolder, CustomValidateAllowsAnUpdate) {
  engine.OnCustomValidate = [](TZephron&, const std::string& msg, const std::string&, bool& allow) {
    allow = msg == "go";
  };
  EXPECT_TRUE(Check({{"custom", {"validatemsg=go"}}}));
  EXPECT_FALSE(Check({{"update", {"unconditional=1"}}, {"custom", {"validatemsg=stop"}}}));
}

TEST_P(ComparisonOverAFolder, BadSignatureAnswersNo) {
  engine.SignatureCheck = true;
  bool paramsSet = false;
  engine.OnSetAppParams = [&](TZephron&, std::string&) { paramsSet = true; };
  EXPECT_FALSE(Check({{"update", {"signature=Wrong", "unconditional=1"}}}));
  EXPECT_EQ(engine.CheckIdents(), (std::vector<int>{msgControlFileFound, msgInvalidSignature}));
  EXPECT_TRUE(paramsSet);
  EXPECT_TRUE(Check({{"update", {"signature=Zephron", "unconditional=1"}}}));
}

TEST_P(NewVersionAvailableTest, MissingControlFileAnswersNo) {
  engine.URL = UrlOf("nothere.inf");
  engine.reports.clear();
  EXPECT_FALSE(engine.NewVersionAvailable(false));
  EXPECT_EQ(engine.CheckIdents(), std::vector<int>{msgControlFileNotFound});
  EXPECT_FALSE(engine.InProgress());
}

TEST_P(NewVersionAvailableTest, WhatsNewIsHandedToTheHostForANewVersion) {
  WriteFile(root / "news.txt", "Line one\r\nLine two\r\n");
  WriteFile(root / "newsDE.txt", "Zeile eins\nZeile zwei");
  std::vector<std::string> text;
  int res = 0;
  engine.OnDownloadedWhatsNew = [&](TZephron&, std::vector<std::string>& lines, int& r) {
    text = lines;
    res = r;
  };
  const std::vector<Section> control = {{"update", {"unconditional=1"}},
                                        {"whatsnew", {"file=" + UrlOf("news.txt")}},
                                        {"whatsnewDE", {"file=" + UrlOf("newsDE.txt")}}};
  EXPECT_TRUE(Check(control));
  EXPECT_EQ(text, (std::vector<std::string>{"Line one", "Line two"}));
  EXPECT_EQ(res, 1);
  engine.LanguageID = "DE";
  EXPECT_TRUE(Check(control));
  EXPECT_EQ(text, (std::vector<std::string>{"Zeile eins", "Zeile zwei"}));
  EXPECT_EQ(engine.Find(msgFoundWhatsNew)->status, 12);
  // Nothing new: no text fetched.
  text.clear();
  EXPECT_FALSE(Check({{"update", {"date=01/01/1970"}}, {"whatsnew", {"file=" + UrlOf("news.txt")}}}));
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(engine.Count(msgFoundWhatsNew), 0);
}

TEST_P(NewVersionAvailableTest, MissingLocalAppDataLeavesTheCheckWithTheConnectionClosed) {
  // Without a home (Linux) or a folder (Windows), there is no such folder.
  sandbox.SetEnv("XDG_DATA_HOME", std::nullopt);
  sandbox.SetEnv("HOME", std::nullopt);
  fs::remove_all(sandbox.localAppData());
  WriteFile(root / "app.inf", ControlFile({{"update", {"newsize=5", "localversion={LAD}\\app.exe"}}}));
  EXPECT_THROW(engine.NewVersionAvailable(false), EngineError);
  EXPECT_FALSE(engine.InProgress());
  EXPECT_FALSE(engine.HintConnect());
}

TEST_P(ComparisonOverAFolder, InitPathWorksInTheProgramFolder) {
  WriteFile(root / "app.inf", ControlFile({{"update", {"unconditional=1"}}}));
  EXPECT_TRUE(engine.NewVersionAvailable(true));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), platform::ProgramFolder()));
}

INSTANTIATE_TEST_SUITE_P(Locations, NewVersionAvailableTest,
                         ::testing::Values(Location::File, Location::Http, Location::Ftp),
                         [](const auto& info) {
                           switch (info.param) {
                             case Location::File: return std::string("File");
                             case Location::Http: return std::string("Http");
                             case Location::Ftp: return std::string("Ftp");
                           }
                           return std::string();
                         });

INSTANTIATE_TEST_SUITE_P(Locations, ComparisonOverAFolder, ::testing::Values(Location::File),
                         [](const auto&) { return std::string("File"); });

}  // namespace
}  // namespace zephron::test
