// What's-new and agreement texts: found through the control file (with and
// without LanguageID), fetched, recognised as rich text, and NewWhatsNew.
#include <filesystem>

#include "tests/versioncheck/version_check_fixture.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

TEST(IsRTFStreamTest, FirstFiveBytesInAnyLetterCase) {
  EXPECT_TRUE(IsRTFStream("{\\rtf1\\ansi hello}"));
  EXPECT_TRUE(IsRTFStream("{\\RTF1"));
  EXPECT_TRUE(IsRTFStream("{\\RtF"));
  EXPECT_FALSE(IsRTFStream("{\\rt"));
  EXPECT_FALSE(IsRTFStream(" {\\rtf1"));
  EXPECT_FALSE(IsRTFStream(""));
  EXPECT_FALSE(IsRTFStream("plain text"));
}

TEST(TextLinesTest, LineEndsOfAllKindsAndByteOrderMark) {
  EXPECT_EQ(TextToLines("\xEF\xBB\xBF" "a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(TextToLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(TextToLines("").empty());
  EXPECT_EQ(LinesToText({"a", "b"}), "a\r\nb\r\n");
}

class Texts : public ::testing::Test {
 protected:
  void SetUp() override {
    site = sandbox.root() / "site";
    fs::create_directories(site);
    engine.UpdateType = fileUpdate;
    engine.UpdateUpdate = zpuSilent;
    engine.URL = (site / "app.inf").string();
    WriteFile(site / "news.txt", "What is new\r\nin 2.0\r\n");
    WriteFile(site / "newsDE.txt", "Neu\r\n");
    WriteFile(site / "eula.txt", "Terms\n");
    WriteFile(site / "eulaDE.rtf", "{\\rtf1 Bedingungen}");
  }
  void Publish(const std::vector<Section>& sections) {
    WriteFile(site / "app.inf", ControlFile(sections));
    ASSERT_EQ(engine.GetControlFile(), 0);
    engine.reports.clear();
  }
  std::vector<Section> AllTexts() const {
    return {{"update", {"unconditional=1"}},
            {"whatsnew", {"file=" + (site / "news.txt").string(), "caption=News"}},
            {"whatsnewDE", {"file=" + (site / "newsDE.txt").string()}},
            {"eula", {"file=" + (site / "eula.txt").string()}},
            {"eulaDE", {"file=" + (site / "eulaDE.rtf").string()}}};
  }

  Sandbox sandbox;
  fs::path site;
  CheckEngine engine;
};

TEST_F(Texts, WhatsNewAndAgreementWithoutLanguage) {
  Publish(AllTexts());
  EXPECT_EQ(engine.GetWhatsNew(), (std::vector<std::string>{"What is new", "in 2.0"}));
  EXPECT_EQ(engine.GetWhatsNewStream(), "What is new\r\nin 2.0\r\n");
  EXPECT_EQ(engine.GetEULA(), std::vector<std::string>{"Terms"});
  EXPECT_EQ(engine.GetEULAStream(), "Terms\n");
  const auto* found = engine.Find(msgFoundWhatsNew);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->status, 12);
  const auto* license = engine.Find(msgFoundLicense);
  ASSERT_NE(license, nullptr);
  EXPECT_EQ(license->status, 13);
  EXPECT_EQ(license->error, 0);
  // The downloaded copies do not stay behind.
  EXPECT_FALSE(fs::exists(engine.WinTempDir() + "news.txt"));
  EXPECT_FALSE(fs::exists(engine.WinTempDir() + "eula.txt"));
  EXPECT_TRUE(fs::exists(site / "news.txt"));
}

TEST_F(Texts, LanguageIdChoosesTheFileSection) {
  engine.LanguageID = "DE";
  Publish(AllTexts());
  EXPECT_EQ(engine.GetWhatsNew(), std::vector<std::string>{"Neu"});
  const auto eula = engine.GetEULAStream();
  ASSERT_TRUE(eula);
  EXPECT_TRUE(IsRTFStream(*eula));
  engine.LanguageID = "FR";  // no such sections: no texts
  EXPECT_EQ(engine.GetWhatsNew(), std::nullopt);
  EXPECT_EQ(engine.GetEULA(), std::nullopt);
}

TEST_F(Texts, BeforeFileDownloadMayRedirectTheWhatsNewText) {
  Publish(AllTexts());
  std::string description;
  int index = -1;
  engine.OnBeforeFileDownload = [&](TZephron&, int idx, const std::string& descr, std::string& url) {
    index = idx;
    description = descr;
    url = (site / "eula.txt").string();
  };
  EXPECT_EQ(engine.GetWhatsNew(), std::vector<std::string>{"Terms"});
  EXPECT_EQ(index, 0);
  EXPECT_EQ(description, (site / "news.txt").string());
  // Not for the agreement.
  index = -1;
  EXPECT_EQ(engine.GetEULA(), std::vector<std::string>{"Terms"});
  EXPECT_EQ(index, -1);
}

TEST_F(Texts, FailedDownloadOrMissingKeyYieldsNone) {
  Publish({{"whatsnew", {"file=" + (site / "gone.txt").string()}}});
  EXPECT_EQ(engine.GetWhatsNewStream(), std::nullopt);
  EXPECT_EQ(engine.Count(msgFoundWhatsNew), 1);
  EXPECT_EQ(engine.GetEULAStream(), std::nullopt);
  EXPECT_EQ(engine.Count(msgFoundLicense), 0);
}

TEST_F(Texts, NewWhatsNewReturnsPlainTextAndFiresTheEvent) {
  WriteFile(site / "app.inf", ControlFile(AllTexts()));
  int res = -5;
  engine.OnDownloadedWhatsNew = [&](TZephron&, std::vector<std::string>& lines, int& r) {
    res = r;
    lines.push_back("added by host");
  };
  const auto text = engine.NewWhatsNew(false);
  EXPECT_EQ(res, 0);
  EXPECT_EQ(text, (std::vector<std::string>{"What is new", "in 2.0", "added by host"}));
  // The dialog variant never fires the event.
  res = -5;
  EXPECT_EQ(engine.NewWhatsNew(true), (std::vector<std::string>{"What is new", "in 2.0"}));
  EXPECT_EQ(res, -5);
}

TEST_F(Texts, NewWhatsNewGivesNothingForRichTextOrNothingNew) {
  WriteFile(site / "news.txt", "{\\RTF1 rich}");
  WriteFile(site / "app.inf", ControlFile(AllTexts()));
  bool fired = false;
  engine.OnDownloadedWhatsNew = [&](TZephron&, std::vector<std::string>&, int&) { fired = true; };
  EXPECT_EQ(engine.NewWhatsNew(false), std::nullopt);
  EXPECT_FALSE(fired);

  WriteFile(site / "news.txt", "plain");
  WriteFile(site / "app.inf", ControlFile({{"update", {"date=01/01/1970"}},
                                           {"whatsnew", {"file=" + (site / "news.txt").string()}}}));
  EXPECT_EQ(engine.NewWhatsNew(false), std::nullopt);
  EXPECT_FALSE(fired);
}

class HttpTexts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SharedServer<NginxServer>::Start(); }
  static void TearDownTestSuite() { SharedServer<NginxServer>::Stop(); }
  Sandbox sandbox;
  CheckEngine engine;
};

TEST_F(HttpTexts, TextsComeFromTheServerByteForByte) {
  ZEPHRON_REQUIRE_SERVER(NginxServer);
  auto* nginx = SharedServer<NginxServer>::Get();
  const std::string rtf = "{\\rtf1\\ansi \\'e9t\\'e9}\r\n";
  WriteFile(nginx->DocRoot() / "terms.rtf", rtf);
  WriteFile(nginx->DocRoot() / "texts.inf",
            ControlFile({{"update", {"unconditional=1"}},
                         {"eulaEN", {"file=" + nginx->Url("/terms.rtf")}},
                         {"whatsnew", {"file=" + nginx->Url("/terms.rtf")}},
                         {"whatsnewEN", {"file=" + nginx->Url("/missing.txt")}}}));
  engine.UpdateUpdate = zpuSilent;
  engine.URL = nginx->Url("/texts.inf");
  engine.LanguageID = "EN";
  ASSERT_EQ(engine.StartConnection(), 0);
  ASSERT_EQ(engine.GetControlFile(), 0);
  EXPECT_EQ(engine.GetEULAStream(), rtf);
  EXPECT_EQ(engine.GetWhatsNewStream(), std::nullopt);
  const auto* status = engine.Find(msgHttpStatus);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->error, 404);
  engine.StopConnection();
}

}  // namespace
}  // namespace zephron::test
