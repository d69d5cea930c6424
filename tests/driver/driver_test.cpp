#include <chrono>
#include <filesystem>
#include <set>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "archive/crc32.h"
#include "tests/driver/driver_fixture.h"
#include "tests/support/servers.h"

namespace zephron::test {
namespace {
namespace fs = std::filesystem;

class CheckPass : public DriverFixture {
 protected:
  // TesselServer has a larger release by size, Vardel Quillon and Zephron are current.
  void PublishSuite() {
    Install("TesselServer", "TesselServer.exe", "old");
    Install("Vardel Quillon", "Quillon.exe", "quillon");
    Install("Zephron", "Zephron.exe", "zephron");
    Publish("tesselserver", "[update]\nlocalversion=TesselServer.exe\nnewsize=1234\nnewversion=2.0.0.0\n");
    Publish("quillon", "[update]\nlocalversion=Quillon.exe\nnewchecksum=" +
                           std::to_string(-1 + 'q' + 'u' + 'i' + 'l' + 'l' + 'o' + 'n') + "\n");
    Publish("zephron", "[update]\nlocalversion=Zephron.exe\nnewsize=7\n");
  }
};

TEST_F(CheckPass, FileLocationReportsTheSizeBasedUpdate) {
  PublishSuite();
  auto form = MakeForm();
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, 0);
  EXPECT_EQ(form->UpdateInfo, "TesselServer: 2.0.0.0\r\n");
  ASSERT_EQ(form->slNewVersions.Entries().size(), 1u);
  EXPECT_EQ(form->slNewVersions.Value("TesselServer").value_or(""), "2.0.0.0");
  EXPECT_EQ(form->Status(), "New version(s) found");
  EXPECT_TRUE(view.getUpdatesEnabled());
  EXPECT_TRUE(view.checkEnabled());
  EXPECT_FALSE(view.IsBusyCursor());
  EXPECT_EQ(view.rows()[0].label, "Tessel Server: installed (not found), version 2.0.0.0 available");
  EXPECT_EQ(view.rows()[0].secondColor, clYellow);
  EXPECT_EQ(view.rows()[1].label, "Olvane Server: not installed");
  EXPECT_EQ(view.rows()[2].secondColor, clLime);
  EXPECT_EQ(view.rows()[3].secondColor, clGray);
}

TEST_F(CheckPass, LogWithoutDebugHoldsOnlyTheHandlersLinesAndOneEmptyEntryPerProduct) {
  PublishSuite();
  MakeForm()->bCheckClick();
  const std::string entry = "\r\n\r\n";
  EXPECT_EQ(UpdaterLog(), "New version(s) found" + entry + entry + "No new version found" + entry + entry +
                              "No new version found" + entry + entry + "Zephron finished" + entry);
}

TEST_F(CheckPass, DebugLogNamesEveryStep) {
  PublishSuite();
  const fs::path quillon = sandbox.root() / "install/Vardel Quillon";
  MakeForm(true)->bCheckClick();
  const std::string log = UpdaterLog();
  const std::string entry = "\r\n\r\n";
  EXPECT_EQ(log.rfind("Checking for updates" + entry, 0), 0u) << log;
  // A product that is not installed: exactly three lines.
  EXPECT_NE(log.find("Checking Olvane Server" + entry + "Registry path is Software\\Corvexis\\Olvane Server" + entry +
                     "Install path is " + entry + "Checking Vardel Quillon"),
            std::string::npos);
  EXPECT_NE(log.find("Install path is " + quillon.string() + entry + "Contacting " + updates.string() + entry +
                     "Checking updates for  Vardel Quillon" + entry + "Current path: " + quillon.string() + entry),
            std::string::npos);
  EXPECT_NE(log.find("Version check : Checksum compare of Quillon.exe:"), std::string::npos);
  EXPECT_EQ(log.find("Checking updates for  Tendwell"), std::string::npos) << "Tendwell is not installed";
  EXPECT_NE(log.find("Zephron finished" + entry + "New version(s) found" + entry), std::string::npos);
}

TEST_F(CheckPass, NothingNewLeavesGetUpdatesDisabled) {
  Install("Zephron", "Zephron.exe", "zephron");
  Publish("zephron", "[update]\nlocalversion=Zephron.exe\nnewsize=7\n");
  auto form = MakeForm();
  form->bCheckClick();
  EXPECT_EQ(form->Status(), "No new versions found, the installed components are the latest versions available.");
  EXPECT_FALSE(view.getUpdatesEnabled());
  EXPECT_TRUE(form->UpdateInfo.empty());
}

TEST_F(CheckPass, UnknownUpdateLocationEndsThePass) {
  Install("TesselServer", "TesselServer.exe");
  Install("Zephron", "Zephron.exe");
  auto form = MakeForm();
  form->UpdateLocationSource = [](const std::string&) { return TUpdateLocation{}; };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, -1);
  EXPECT_EQ(form->Status(), "Unknown update location");
  ASSERT_EQ(view.dialogs().size(), 1u);
  EXPECT_EQ(view.dialogs()[0].text, "Unknown update location");
  EXPECT_EQ(UpdaterLog().find("Zephron finished"), std::string::npos);
  EXPECT_TRUE(view.checkEnabled());
}

TEST_F(CheckPass, MissingControlFileRaisesTheErrorCodeOfTheEngine) {
  Install("TesselServer", "TesselServer.exe");
  auto form = MakeForm();
  form->bCheckClick();
  // The missing source reports error code 1 and the pass carries it.
  EXPECT_EQ(form->ErrorCode, 1);
  EXPECT_TRUE(form->UpdateInfo.empty());
  EXPECT_NE(UpdaterLog().find("Update not available"), std::string::npos);
}

TEST_F(CheckPass, LocationFromTheRegistry) {
  Install("Zephron", "Zephron.exe", "zephron");
  Publish("zephron", "[update]\nlocalversion=Zephron.exe\nnewsize=99\nnewversion=3.1\n");
  auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\Zephron");
  ASSERT_TRUE(key && key->WriteString("UpdateURL", updates.string()));
  auto form = MakeForm();
  form->UpdateLocationSource = GetUpdateLocation;
  form->bCheckClick();
  EXPECT_EQ(form->UpdateInfo, "Zephron: 3.1\r\n");
  EXPECT_EQ(form->Zephron.URL, updates.string() + "/zephron/zephron.INF");
  EXPECT_EQ(form->Zephron.UpdateType, fileUpdate);
}

class HttpCheckPass : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    Install("Vardel Quillon", "Quillon.exe", "quillon");
    Install("Tendwell", "Tendwell.exe", "tendwell");
    WriteFile(nginx.DocRoot() / "updates/quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\nnewversion=5.0\n");
    WriteFile(nginx.DocRoot() / "updates/tendwell/tendwell.INF", "[update]\nlocalversion=Tendwell.exe\nnewsize=8\n");
  }
  int Requests(const std::string& uri) const {
    int n = 0;
    for (const auto& line : nginx.AccessLog()) n += line.rfind("GET " + uri + " ", 0) == 0;
    return n;
  }
  NginxServer nginx;
};

TEST_F(HttpCheckPass, RedirectorPointsToTheRealLocationAndIsAskedOnce) {
  auto form = MakeForm();
  const std::string redirector = nginx.Url("/go/updates/");
  form->UpdateLocationSource = [&](const std::string&) { return TUpdateLocation{redirector, "", ""}; };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, 0);
  EXPECT_EQ(form->UpdateInfo, "Vardel Quillon: 5.0\r\n");
  EXPECT_EQ(form->redirection, nginx.Url("/updates/"));
  EXPECT_EQ(form->Zephron.URL, nginx.Url("/updates/tendwell/tendwell.INF"));
  EXPECT_EQ(form->Zephron.UpdateType, httpUpdate);
  EXPECT_EQ(Requests("/go/updates/"), 1) << "one GET for two products with the same base URL";
}

// The access log tells each request's connection (conn=) and its number on
// that connection (req=).
TEST_F(HttpCheckPass, FiveProductsOnOneLocationTakeOneRedirectorGetAndOneConnection) {
  Install("TesselServer", "TesselServer.exe", "tessel");
  Install("Olvane Server", "Olvane.exe", "olvane");
  Install("Zephron", "Zephron.exe", "zephron");
  for (const auto& [folder, program] : {std::pair{"tesselserver", "TesselServer.exe"}, std::pair{"olvane", "Olvane.exe"},
                                         std::pair{"zephron", "Zephron.exe"}}) {
    WriteFile(nginx.DocRoot() / "updates" / folder / (std::string(folder) + ".INF"),
              std::string("[update]\nlocalversion=") + program + "\nnewsize=6\n");
  }
  auto form = MakeForm();
  const std::string redirector = nginx.Url("/go/updates/");
  form->UpdateLocationSource = [&](const std::string&) { return TUpdateLocation{redirector, "", ""}; };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, 0);
  // nginx writes a request's line just after its answer.
  auto log = nginx.AccessLog();
  for (int attempt = 0; attempt < 150 && log.size() < 6; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = nginx.AccessLog();
  }
  std::vector<std::string> uris;
  std::set<std::string> connections;
  for (const auto& line : log) {
    uris.push_back(line.substr(0, line.find(' ', 4)));
    connections.insert(line.substr(line.find("conn="), line.find(' ', line.find("conn=")) - line.find("conn=")));
  }
  EXPECT_EQ(uris, (std::vector<std::string>{"GET /go/updates/", "GET /updates/tesselserver/tesselserver.INF",
                                            "GET /updates/olvane/olvane.INF", "GET /updates/quillon/quillon.INF",
                                            "GET /updates/tendwell/tendwell.INF", "GET /updates/zephron/zephron.INF"}));
  EXPECT_EQ(connections.size(), 1u) << "every request after the first on the connection kept alive";
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find(" req=6 "), std::string::npos) << log.back();
}

TEST_F(HttpCheckPass, BaseUrlWithABodyIsUsedItself) {
  WriteFile(nginx.DocRoot() / "updates/index.html", "<html>updates</html>");
  auto form = MakeForm();
  const std::string base = nginx.Url("/updates/");
  form->UpdateLocationSource = [&](const std::string&) { return TUpdateLocation{base, "", ""}; };
  form->bCheckClick();
  EXPECT_EQ(form->UpdateInfo, "Vardel Quillon: 5.0\r\n");
  EXPECT_TRUE(form->redirection.empty());
  EXPECT_EQ(form->Zephron.URL, nginx.Url("/updates/tendwell/tendwell.INF"));
}

TEST_F(HttpCheckPass, FailingGetFallsBackToTheLastRedirection) {
  auto form = MakeForm();
  form->zpHost = nginx.Url("/go/updates/");
  EXPECT_EQ(form->ResolveUpdateHost(), nginx.Url("/updates/"));
  form->zpHost = nginx.Url("/no-such-place/");
  EXPECT_EQ(form->ResolveUpdateHost(), nginx.Url("/updates/")) << "404: the redirection of the earlier product";
  form->zpHost = "";
  EXPECT_EQ(form->ResolveUpdateHost(), "") << "an empty base is not a web address: no request, no redirection";
}

TEST_F(HttpCheckPass, NoRedirectionEverMeansAnEmptyHost) {
  auto form = MakeForm();
  form->zpHost = "http://127.0.0.1:1/";
  EXPECT_EQ(form->ResolveUpdateHost(), "");
}

TEST_F(HttpCheckPass, UnresolvedWebLocationEndsWithAnErrorInsteadOfALocalPath) {
  auto form = MakeForm();
  form->UpdateLocationSource = [](const std::string&) { return TUpdateLocation{"http://127.0.0.1:1/", "", ""}; };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, -1);
  EXPECT_EQ(form->Status(), "The update location cannot be reached: http://127.0.0.1:1/");
  EXPECT_EQ(form->Zephron.URL, "") << "no control file is looked for anywhere";
  ASSERT_EQ(view.dialogs().size(), 1u);
  EXPECT_EQ(view.dialogs()[0].text, form->Status());
}

TEST_F(CheckPass, HttpsLocationRedirectedToPlainHttpIsRefusedUnlessSigned) {
  Install("Tendwell", "Tendwell.exe", "tw");
  auto form = MakeForm();
  const std::string secure = "https://secure.example/updates/";
  std::string key;
  form->UpdateLocationSource = [&](const std::string&) { return TUpdateLocation{secure, "", "", key}; };
  // The redirector's answer, as the last resolution left it.
  form->LastURLCheck = secure;
  form->LastActualURL = "http://plain.example/updates/";
  form->bCheckClick();
  EXPECT_EQ(form->Status(), "The update location redirects from https to plain http: " + secure);
  EXPECT_EQ(form->Zephron.URL, "");

  key = "c2lnbmVkIHVwZGF0ZXMgb25seQ==";
  form->bCheckClick();
  EXPECT_EQ(form->Zephron.URL, "http://plain.example/updates/tendwell/tendwell.INF") << "a signed location may";
}

class FtpCheckPass : public DriverFixture {
 protected:
  FtpServer ftp;
};

TEST_F(FtpCheckPass, FtpLocationHasTheLayoutOfAnHttpOne) {
  Install("Vardel Quillon", "Quillon.exe", "quillon");
  WriteFile(ftp.AnonymousRoot() / "pub/quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\nnewversion=6.1\n");
  auto form = MakeForm();
  const std::string base = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/pub";
  form->UpdateLocationSource = [&](const std::string&) { return TUpdateLocation{base, "", ""}; };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, 0) << form->Status();
  EXPECT_EQ(form->UpdateInfo, "Vardel Quillon: 6.1\r\n");
  EXPECT_EQ(form->Zephron.URL, "quillon.INF");
  EXPECT_EQ(form->Zephron.Host, "127.0.0.1");
  EXPECT_EQ(form->Zephron.Port, ftp.port());
  EXPECT_EQ(form->Zephron.FTPDirectory, "pub/quillon");
}

TEST_F(FtpCheckPass, PortAndFolderOfAnFtpLocationAreNotCarriedToTheNextProduct) {
  Install("Vardel Quillon", "Quillon.exe", "quillon");
  Install("Tendwell", "Tendwell.exe", "tendwell");
  WriteFile(ftp.AnonymousRoot() / "pub/quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=50\n");
  Publish("tendwell", "[update]\nlocalversion=Tendwell.exe\nnewsize=8\n");
  auto form = MakeForm();
  const std::string base = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/pub";
  const std::string files = updates.string();
  form->UpdateLocationSource = [&](const std::string& product) {
    return TUpdateLocation{product == "Vardel Quillon" ? base : files, "", ""};
  };
  form->bCheckClick();
  EXPECT_EQ(form->ErrorCode, 0) << form->Status();
  EXPECT_EQ(form->Zephron.Port, 21);
  EXPECT_EQ(form->Zephron.FTPDirectory, "");
}

}  // namespace
}  // namespace zephron::test
