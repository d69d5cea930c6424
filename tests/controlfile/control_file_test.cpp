// Reading every section of the update control file with its defaults.
#include "engine/control_file.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/special_folders.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {

using platform::ProfileFile;

class ControlFile : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.SetEnv("ZEPHRON_WINDOWS_DIR", "/win"); }
  // "/win" here; on Windows the system's own folder.
  static std::string Win() { return platform::WindowsFolder(); }
  ProfileFile Load(const std::string& text) {
    const auto path = (sandbox_.temp() / "UPDATE.INF").string();
    test::WriteFile(path, text);
    return ProfileFile(path);
  }

  test::Sandbox sandbox_;
  TZephron engine_;
  PrefixExpander expand_ = EngineExpander(engine_);
};

TEST_F(ControlFile, EmptyFileReadsAsDefaults) {
  const auto file = Load("");
  const TUpdateSection u = ReadUpdateSection(file, expand_);
  EXPECT_EQ(u.signature, "");
  EXPECT_EQ(u.date, "");
  EXPECT_EQ(u.localversion, "");
  EXPECT_EQ(u.newsize, 0);
  EXPECT_EQ(u.newchecksum, -1);
  const TApplicationSection a = ReadApplicationSection(file, expand_);
  EXPECT_FALSE(a.appupdate);
  EXPECT_EQ(a.appname, "");
  EXPECT_EQ(a.appparam, "");
  EXPECT_FALSE(a.silentrestart);
  EXPECT_EQ(ReadFileCount(file), 0);
  EXPECT_TRUE(ReadFileEntries(file, expand_).empty());
  const TWhatsNewSection w = ReadWhatsNewSection(file, "");
  EXPECT_EQ(w.file, "");
  EXPECT_EQ(w.okbtn, "Ok");
  EXPECT_EQ(w.cancelbtn, "Cancel");
  const TEulaSection e = ReadEulaSection(file, "");
  EXPECT_EQ(e.accept, "I accept");
  EXPECT_EQ(e.notaccept, "I do not accept");
  EXPECT_EQ(ReadActionSection(file, expand_).msg, "");
}

TEST_F(ControlFile, UpdateSectionIsReadWithPrefixesInLocalVersion) {
  const auto file = Load(
      "[update]\r\nsignature=Zephron\r\ndescr=New release\r\ndate=01/02/2024\r\ntime=10:30\r\n"
      "localversion={APP}\\bin\\prog.exe\r\nunconditional=yes\r\nnewversion=2.1.0.5\r\nnewsize=12345\r\n"
      "newchecksum=$CBF43926\r\n");
  const TUpdateSection u = ReadUpdateSection(file, expand_);
  EXPECT_EQ(u.signature, "Zephron");
  EXPECT_EQ(u.descr, "New release");
  EXPECT_EQ(u.date, "01/02/2024");
  EXPECT_EQ(u.time, "10:30");
  EXPECT_EQ(u.localversion, platform::ProgramFolder() + "/./bin/prog.exe");
  EXPECT_EQ(u.unconditional, "yes");
  EXPECT_EQ(u.newversion, "2.1.0.5");
  EXPECT_EQ(u.newsize, 12345);
  EXPECT_EQ(u.newchecksum, -873187034);
}

TEST_F(ControlFile, MalformedNumbersTakeTheirDefaults) {
  const auto file = Load("[update]\nnewsize=big\nnewchecksum=12x\n[files]\ncount=three\n");
  const TUpdateSection u = ReadUpdateSection(file, expand_);
  EXPECT_EQ(u.newsize, 0);
  EXPECT_EQ(u.newchecksum, -1);
  EXPECT_EQ(ReadFileCount(file), 0);
}

TEST_F(ControlFile, ApplicationSectionKeepsEmptyParametersEmpty) {
  const auto file = Load("[application]\nappupdate=1\nappname={APP}\\prog.exe\nappparam=\nappcomps=prog.exe;{WIN}\\lib.dll\n"
                         "silentrestart=1\n");
  const TApplicationSection a = ReadApplicationSection(file, expand_);
  EXPECT_TRUE(a.appupdate);
  EXPECT_EQ(a.appname, platform::ProgramFolder() + "/./prog.exe");
  EXPECT_EQ(a.appparam, "");  // " " is the engine's rule after OnSetAppParams
  EXPECT_EQ(a.appcomps, "prog.exe;" + Win() + "/.\\lib.dll");
  EXPECT_TRUE(a.silentrestart);
}

TEST_F(ControlFile, SwitchesCountOnlyForOne) {
  const auto file = Load("[application]\nappupdate=2\nsilentrestart=yes\n[file1]\nmandatory=2\ncompressed=0x1\n"
                         "preselect=0\nhidden=1\n");
  const TApplicationSection a = ReadApplicationSection(file, expand_);
  EXPECT_FALSE(a.appupdate);
  EXPECT_FALSE(a.silentrestart);
  const TFileDescription f = ReadFileEntry(file, 1, expand_);
  EXPECT_FALSE(f.Mandatory);
  EXPECT_TRUE(f.Compressed);
  EXPECT_FALSE(f.Preselect);
  EXPECT_TRUE(f.Hidden);
}

TEST_F(ControlFile, FileEntryIsFilledFromItsSection) {
  const auto file = Load(
      "[files]\ncount=1\n[FILE1]\nurl=http://host/dir/a.cab\nlocalversion={WIN}\\a.dll\nnewversion=1.2.3.4\n"
      "newsize=100\nnewchecksum=-5\ncustomversion=c1\ndate=02/03/2024\ntime=11:00\ndescr=Library A\n"
      "targetdir={WIN}\\sub\ncompressed=1\nfilesize=2048\nmandatory=1\n");
  const auto entries = ReadFileEntries(file, expand_);
  ASSERT_EQ(entries.size(), 1u);
  const TFileDescription& f = entries[0];
  EXPECT_EQ(f.URL, "http://host/dir/a.cab");
  EXPECT_EQ(f.LocalVersion, Win() + "/./a.dll");
  EXPECT_EQ(f.NewVersion, "1.2.3.4");
  EXPECT_EQ(f.NewSize, 100);
  EXPECT_EQ(f.NewCheckSum, -5);
  EXPECT_EQ(f.NewCustomVer, "c1");
  EXPECT_EQ(f.NewDate, "02/03/2024");
  EXPECT_EQ(f.NewTime, "11:00");
  EXPECT_EQ(f.Description, "Library A");
  EXPECT_EQ(f.TargetDir, Win() + "/./sub/");
  EXPECT_TRUE(f.Compressed);
  EXPECT_EQ(f.FileSize, 2048);
  EXPECT_TRUE(f.Mandatory);
  EXPECT_TRUE(f.Preselect);  // absent counts as selected
  EXPECT_FALSE(f.Hidden);
  EXPECT_FALSE(f.Selected);
}

TEST_F(ControlFile, CountBeyondThePresentSectionsGivesEntriesOfDefaults) {
  const auto file = Load("[files]\ncount=3\n[file1]\nurl=a.cab\n[file3]\nurl=c.cab\n");
  const auto entries = ReadFileEntries(file, expand_);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].URL, "a.cab");
  EXPECT_EQ(entries[1].URL, "");
  EXPECT_EQ(entries[1].NewCheckSum, -1);
  EXPECT_TRUE(entries[1].Preselect);
  EXPECT_EQ(entries[1].TargetDir, "");  // an empty folder does not become the root
  EXPECT_EQ(entries[2].URL, "c.cab");
}

TEST_F(ControlFile, ImpossibleCountsAreLimited) {
  EXPECT_EQ(ReadFileCount(Load("[files]\ncount=-4\n")), 0);
  EXPECT_EQ(ReadFileCount(Load("[files]\ncount=2147483647\n")), kMaxFileEntries);
}

TEST_F(ControlFile, ValuesAreCutToTheProfileReadersLengthBeforeExpansion) {
  std::string tokens;
  for (int i = 0; i < 100000; ++i) tokens += "{WIN}";
  const std::string cyrillic(1500, 'a');  // then 600 two-byte letters: cut at 547 of them
  std::string letters;
  for (int i = 0; i < 600; ++i) letters += "\xD0\x96";
  const ProfileFile file = Load("[update]\ndescr=" + cyrillic + letters + "\nlocalversion=" + tokens + "\n");
  const TUpdateSection u = ReadUpdateSection(file, expand_);
  EXPECT_EQ(u.descr, cyrillic + letters.substr(0, 2 * (kMaxValueLength - cyrillic.size())));
  std::string expected;
  for (std::size_t i = 0; i < kMaxValueLength / 5; ++i) expected += Win() + "/.";
  expected += "{W";  // the cut token stays as written
  EXPECT_EQ(u.localversion, expected);
}

TEST_F(ControlFile, FilePrefixesAreExpandedInKeyOrderAlsoWhenEmpty) {
  std::vector<std::string> seen;
  engine_.OnConvertPrefix = [&](TZephron&, std::string& path) { seen.push_back(path); };
  ReadFileEntry(Load("[file1]\ntargetdir=t\nurl=u\n"), 1, expand_);
  EXPECT_EQ(seen, (std::vector<std::string>{"u", "", "t"}));
}

TEST_F(ControlFile, HandlerRewritingAPathIsWhatTheEntryGets) {
  engine_.OnConvertPrefix = [](TZephron&, std::string& path) {
    if (path == "{OLD}\\x.dll") path = "{WIN}\\y.dll";
  };
  const auto f = ReadFileEntry(Load("[file1]\nlocalversion={OLD}\\x.dll\n"), 1, expand_);
  EXPECT_EQ(f.LocalVersion, Win() + "/./y.dll");
}

TEST_F(ControlFile, UnknownPrefixNamesAFileInTheCurrentFolder) {
  const auto f = ReadFileEntry(Load("[file1]\nlocalversion={FOO}\\x.exe\n"), 1, expand_);
  EXPECT_EQ(f.LocalVersion, "./x.exe");
}

TEST_F(ControlFile, ProgramInTheRootFolder) {
  struct RootEngine : TZephron {
    std::string ConvertPrefix(const std::string& prefix) override {
      return prefix == "APP" ? NormalisePrefixFolder("/") : TZephron::ConvertPrefix(prefix);
    }
  } engine;
  const auto a = ReadApplicationSection(Load("[application]\nappname={APP}\\x.exe\n"), EngineExpander(engine));
  EXPECT_EQ(a.appname, "/./x.exe");
}

TEST_F(ControlFile, LineBreaksOnlyInMessageAndQuery) {
  const auto file = Load("[action]\nmsg=First line\\nSecond line\nquery=Go on?\\nReally?\nrunbeforeparam=a\\nb\n");
  const TActionSection a = ReadActionSection(file, expand_);
  EXPECT_EQ(a.msg, "First line\nSecond line");
  EXPECT_EQ(a.query, "Go on?\nReally?");
  EXPECT_EQ(a.runbeforeparam, "a\\nb");
  EXPECT_EQ(ExpandLineBreaks("\\\\n\\"), "\\\n\\");
}

TEST_F(ControlFile, ActionSectionExpandsItsPaths) {
  const auto file = Load(
      "[action]\nhtmldlg={WIN}\\note.htm\nrunbefore={WIN}\\pre.exe\nrunbeforeparam=/q\nshowURL=http://host/{x}\n"
      "updateURL=http://new/{WIN}\nrunafter={WIN}\\post.exe\nrunafterparam=-r\n");
  const TActionSection a = ReadActionSection(file, expand_);
  EXPECT_EQ(a.htmldlg, Win() + "/./note.htm");
  EXPECT_EQ(a.runbefore, Win() + "/./pre.exe");
  EXPECT_EQ(a.runbeforeparam, "/q");
  EXPECT_EQ(a.showURL, "http://host/.");
  EXPECT_EQ(a.updateURL, "http://new/{WIN}");  // not a prefixed value
  EXPECT_EQ(a.runafter, Win() + "/./post.exe");
  EXPECT_EQ(a.runafterparam, "-r");
}

TEST_F(ControlFile, CustomSectionIsReadAsWritten) {
  const auto c = ReadCustomSection(Load("[custom]\nvalidatemsg=v\nvalidateparam={WIN}\nprocessmsg=p\nprocessparam=q\n"));
  EXPECT_EQ(c.validatemsg, "v");
  EXPECT_EQ(c.validateparam, "{WIN}");
  EXPECT_EQ(c.processmsg, "p");
  EXPECT_EQ(c.processparam, "q");
}

TEST_F(ControlFile, TextSectionsUseTheLanguageSuffixForTheFileOnly) {
  const auto file = Load(
      "[whatsnew]\nfile=news.txt\ncaption=News\nokbtn=Fine\n[whatsnewDE]\nfile=neu.txt\n"
      "[eula]\nfile=eula.txt\naccept=Yes\n[eulaDE]\nfile=lizenz.txt\n");
  EXPECT_EQ(ReadWhatsNewSection(file, "").file, "news.txt");
  const TWhatsNewSection w = ReadWhatsNewSection(file, "DE");
  EXPECT_EQ(w.file, "neu.txt");
  EXPECT_EQ(w.caption, "News");
  EXPECT_EQ(w.okbtn, "Fine");
  EXPECT_EQ(w.cancelbtn, "Cancel");
  const TEulaSection e = ReadEulaSection(file, "DE");
  EXPECT_EQ(e.file, "lizenz.txt");
  EXPECT_EQ(e.accept, "Yes");
  EXPECT_EQ(e.notaccept, "I do not accept");
  EXPECT_EQ(ReadEulaSection(file, "FR").file, "");
}

TEST_F(ControlFile, MalformedFilesReadAsDefaults) {
  std::mt19937 rng(77);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  const std::string longLine(10 << 20, '{');
  const std::vector<std::string> texts = {garbage, "[update]\nlocalversion=" + longLine + "\n[files\ncount=5\n",
                                         "[update\nnewversion=9\n[files]\r\ncount"};
  for (const std::string& text : texts) {
    const auto file = Load(text);
    const TUpdateSection u = ReadUpdateSection(file, expand_);
    EXPECT_EQ(u.newversion, "");
    EXPECT_EQ(u.newchecksum, -1);
    EXPECT_EQ(ReadFileCount(file), 0);
    EXPECT_EQ(ReadApplicationSection(file, expand_).appname, "");
  }
}

}  // namespace
}  // namespace zephron
