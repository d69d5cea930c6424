// File update selection and installation against a real nginx (and one FTP
// case): every kind of entry put in place, the prompting modes, the date
// rule, the host's deselection, failed downloads and a corrupt cabinet.
#include <filesystem>
#include <string>

#include "platform/utf8_path.h"
#include "tests/engine_transfer/transfer_fixture.h"
#include "tests/fileupdate/update_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

class FileUpdates : public UpdateFixture {
 protected:
  static void SetUpTestSuite() { SharedServer<NginxServer>::Start(); }
  static void TearDownTestSuite() { SharedServer<NginxServer>::Stop(); }

  void SetUp() override {
    UpdateFixture::SetUp();
    ZEPHRON_REQUIRE_SERVER(NginxServer);
    nginx = SharedServer<NginxServer>::Get();
    engine.UpdateType = httpUpdate;
    ASSERT_EQ(engine.StartConnection(), 0);
  }
  void TearDown() override { engine.StopConnection(); }

  // Serves the bytes and gives the entry lines of a file at that URL.
  std::string Serve(const std::string& name, const std::string& bytes) {
    WriteFile(nginx->DocRoot() / "files" / name, bytes);
    return nginx->Url("/files/" + name);
  }
  // Three plain files; the second may be missing on the server.
  void ThreePlainFiles(bool secondMissing) {
    const std::string b = secondMissing ? nginx->Url("/files/missing.txt") : Serve("b.txt", "bee");
    UseControlFile({{"files", {"count=3"}},
                    {"file1", {"url=" + Serve("a.txt", "ay"), "targetdir=" + app.string(), "descr=A"}},
                    {"file2", {"url=" + b, "targetdir=" + app.string(), "descr=B"}},
                    {"file3", {"url=" + Serve("c.txt", "sea"), "targetdir=" + app.string(), "descr=C"}}});
    ASSERT_EQ(engine.GetFileDetails(), 3);
    ASSERT_EQ(engine.ProcessFileDetails(), 0);
  }

  NginxServer* nginx = nullptr;
};

TEST_F(FileUpdates, EveryKindOfEntryEndsInPlaceByteForByte) {
  engine.ExtractCAB = true;
  engine.ApplyPatch = true;
  const std::string plain = Pattern(100000);
  std::string tool;
  for (int i = 0; i < 300; ++i) tool += "line " + std::to_string(i) + " of the tool\n";
  const fs::path compressed = Mscompress("tool.txt", tool);
  const fs::path cabinet = Gcab("pack.cab", {{"one.txt", "first"}, {"sub\\two.txt", "second"}});
  const fs::path nested = app / "docs" / "new";
  const std::string patchUrl = Serve("fix.pat", MakePatch("old program", "new program"));
  WriteFile(app / "prog.bin", "old program");
  engine.SetAppComps((app / "App.EXE").string());
  UseControlFile({{"files", {"count=6"}},
                  {"file1", {"url=" + Serve("readme.txt", plain), "targetdir=" + nested.string() + "\\"}},
                  {"file2", {"url=" + Serve("tool.txt_", ReadFile(compressed)), "targetdir=" + app.string(),
                             "compressed=1"}},
                  {"file3", {"url=" + Serve("pack.cab", ReadFile(cabinet)), "targetdir=" + app.string(),
                             "compressed=1"}},
                  {"file4", {"url=" + patchUrl, "targetdir=" + app.string(),
                             "localversion=" + (app / "prog.bin").string(), "newsize=99"}},
                  {"file5", {"url=" + Serve("unused.pat", "patch"), "targetdir=" + app.string()}},
                  {"file6", {"url=" + Serve("app.exe", "component"), "targetdir=" + app.string()}}});
  ASSERT_EQ(engine.GetFileDetails(), 6);
  ASSERT_EQ(engine.ProcessFileDetails(), 0);
  EXPECT_EQ(engine.GetFileUpdates(), 0);

  EXPECT_EQ(ReadFile(nested / "readme.txt"), plain);
  EXPECT_EQ(ReadFile(app / "tool.txt"), tool);
  EXPECT_FALSE(fs::exists(app / "tool.txt_"));
  EXPECT_EQ(ReadFile(app / "one.txt"), "first");
  EXPECT_EQ(ReadFile(app / "sub/two.txt"), "second");
  EXPECT_FALSE(fs::exists(engine.WinTempDir() + "pack.cab")) << "the cabinet is deleted after extraction";
  EXPECT_EQ(ReadFile(app / "prog.bin"), "new program");
  EXPECT_FALSE(fs::exists(app / "fix.pat"));
  EXPECT_EQ(ReadFile(engine.WinTempDir() + "unused.pat"), "patch") << "a patch without a local file is not applied";
  EXPECT_EQ(ReadFile(engine.WinTempDir() + "app.exe"), "component") << "a component waits in the download folder";
  EXPECT_FALSE(fs::exists(app / "app.exe"));
  EXPECT_TRUE(engine.AppCompsIncluded());
  EXPECT_EQ(engine.Count(msgFoundAppComponent), 1);
  const auto* exec = engine.Find(msgNoText);
  ASSERT_NE(exec, nullptr);
  EXPECT_EQ(exec->status, 18);
  EXPECT_EQ(exec->arg, "Exec: patcher.exe " + engine.WinTempDir() + "fix.pat " + (app / "prog.bin").generic_string());
}

TEST_F(FileUpdates, PromptOnceAsksOnceAndNoFetchesNothing) {
  ThreePlainFiles(false);
  engine.UpdateUpdate = zpuPromptOnce;
  engine.dialogs.Answer(ui::DialogResult::No);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  EXPECT_FALSE(fs::exists(app / "a.txt"));
  engine.dialogs.Answer(ui::DialogResult::Yes);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  EXPECT_EQ(engine.dialogs.shown().size(), 2u);
  EXPECT_EQ(engine.dialogs.shown()[1].text, "Download update files ?");
  EXPECT_EQ(ReadFile(app / "c.txt"), "sea");
}

TEST_F(FileUpdates, PromptAllAsksForEachFile) {
  ThreePlainFiles(false);
  engine.UpdateUpdate = zpuPromptAll;
  engine.dialogs.Answer(ui::DialogResult::No);
  engine.dialogs.Answer(ui::DialogResult::Yes);
  engine.dialogs.Answer(ui::DialogResult::No);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  ASSERT_EQ(engine.dialogs.shown().size(), 3u);
  EXPECT_EQ(engine.dialogs.shown()[0].text, "Download update file : a.txt");
  EXPECT_FALSE(fs::exists(app / "a.txt"));
  EXPECT_EQ(ReadFile(app / "b.txt"), "bee");
  EXPECT_FALSE(fs::exists(app / "c.txt"));
}

TEST_F(FileUpdates, OneFailedDownloadAmongThreeFailsTheRunButInstallsTheOthers) {
  ThreePlainFiles(true);
  engine.SetAppClose(true);
  EXPECT_EQ(engine.GetFileUpdates(), -1);
  EXPECT_EQ(ReadFile(app / "a.txt"), "ay");
  EXPECT_EQ(ReadFile(app / "c.txt"), "sea");
  EXPECT_FALSE(engine.AppClose());
  const auto* failed = engine.Find(msgCannotDownloadUpdate);
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->arg, nginx->Url("/files/missing.txt"));
  EXPECT_EQ(failed->status, 2);
  EXPECT_EQ(failed->error, 9);
}

TEST_F(FileUpdates, CorruptCabinetIsReportedAndKept) {
  engine.ExtractCAB = true;
  std::string damaged = ReadFile(Gcab("bad.cab", {{"one.txt", std::string(5000, 'x')}}));
  damaged.resize(damaged.size() / 2);
  UseControlFile({{"files", {"count=1"}},
                  {"file1", {"url=" + Serve("bad.cab", damaged), "targetdir=" + app.string(), "compressed=1"}}});
  ASSERT_EQ(engine.GetFileDetails(), 1);
  ASSERT_EQ(engine.ProcessFileDetails(), 0);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  const auto* report = engine.Find(msgErrorDecompressingCab);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->status, 8);
  EXPECT_TRUE(fs::exists(engine.WinTempDir() + "bad.cab")) << "kept for a look";
}

TEST_F(FileUpdates, BeforeDownloadHandlerMayChangeWhereAFileComesFrom) {
  UseControlFile({{"files", {"count=1"}},
                  {"file1", {"url=" + nginx->Url("/files/old-place.txt"), "targetdir=" + app.string(), "descr=D"}}});
  const std::string moved = Serve("new-place.txt", "moved");
  engine.OnBeforeFileDownload = [&](TZephron&, int index, const std::string& descr, std::string& url) {
    EXPECT_EQ(index, 1);
    EXPECT_EQ(descr, "D");
    url = moved;
  };
  ASSERT_EQ(engine.GetFileDetails(), 1);
  ASSERT_EQ(engine.ProcessFileDetails(), 0);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  EXPECT_EQ(ReadFile(app / "old-place.txt"), "moved") << "the name stays the one of the control file";
}

class FileSelection : public UpdateFixture {};

TEST_F(FileSelection, DateRuleDropsEntriesWhoseLocalFileIsNewerWithoutReport) {
  WriteFile(app / "current.dll", "x");
  UseControlFile({{"files", {"count=4"}},
                  {"file1", {"url=http://h/current.dll", "localversion=" + (app / "current.dll").string(),
                             "date=01/01/2001", "time=10:00"}},
                  {"file2", {"url=http://h/missing.dll", "localversion=" + (app / "missing.dll").string(),
                             "date=01/01/2001"}},
                  {"file3", {"url=http://h/garbled.dll", "localversion=" + (app / "current.dll").string(),
                             "date=not a date"}},
                  {"file4", {"url=http://h/sized.dll", "localversion=" + (app / "current.dll").string(),
                             "newsize=1"}}});
  ASSERT_EQ(engine.GetFileDetails(), 4);
  EXPECT_EQ(engine.ProcessFileDetails(), 0);
  ASSERT_EQ(engine.FileList().Count(), 1);
  EXPECT_EQ(engine.FileList().Items(0).URL, "http://h/missing.dll");
  EXPECT_EQ(engine.Count(msgProcessingFile), 4);
  EXPECT_EQ(engine.Count(msgNoNewVersion), 1) << "only the size-judged entry reports";
}

TEST_F(FileSelection, ProcessingReportNamesTheEntrysFigures) {
  UseControlFile({{"files", {"count=1"}},
                  {"file1", {"url=http://h/a.dll", "localversion=x.dll", "newversion=1.2", "newsize=-3"}}});
  engine.GetFileDetails();
  engine.ProcessFileDetails();
  const auto* report = engine.Find(msgProcessingFile);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->arg, "http://h/a.dll[x.dll,nv=1.2,nd=,ns=-3,nc=-1]");
  EXPECT_EQ(report->status, 0);
}

TEST_F(FileSelection, HostEmptyingEveryStringKeepsOnlyMandatoryEntries) {
  const auto entries = [](bool mandatory) {
    return std::vector<Section>{{"files", {"count=3"}},
                                {"file1", {"url=http://h/1", "descr=one"}},
                                {"file2", {"url=http://h/2", "descr=two", mandatory ? "mandatory=1" : "mandatory=0"}},
                                {"file3", {"url=http://h/3", "descr=three"}}};
  };
  std::vector<std::string> seen;
  engine.OnGetFileList = [&](TZephron&, std::vector<std::string>& list) {
    seen = list;
    for (auto& s : list) s.clear();
  };
  UseControlFile(entries(true));
  engine.GetFileDetails();
  EXPECT_EQ(engine.ProcessFileDetails(), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three"}));
  ASSERT_EQ(engine.FileList().Count(), 1);
  EXPECT_EQ(engine.FileList().Items(0).URL, "http://h/2");

  UseControlFile(entries(false));
  engine.GetFileDetails();
  EXPECT_EQ(engine.ProcessFileDetails(), -1);
  EXPECT_EQ(engine.FileList().Count(), 0);
}

TEST_F(FileSelection, CustomVersionHandlerDecides) {
  WriteFile(app / "lib.dll", "12345");
  UseControlFile({{"files", {"count=2"}},
                  {"file1", {"url=http://h/1", "localversion=" + (app / "lib.dll").string(), "newsize=9",
                             "customversion=7.1"}},
                  {"file2", {"url=http://h/2", "localversion=" + (app / "lib.dll").string(), "newsize=9",
                             "customversion=7.2"}}});
  std::vector<std::string> asked;
  engine.OnFileVersionCheck = [&](TZephron&, const std::string& next, const std::string& local, bool& isNew) {
    asked.push_back(next + " " + local);
    isNew = next == "7.2";
  };
  engine.GetFileDetails();
  EXPECT_EQ(engine.ProcessFileDetails(), 0);
  ASSERT_EQ(engine.FileList().Count(), 1);
  EXPECT_EQ(engine.FileList().Items(0).URL, "http://h/2");
  const std::string lib = (app / "lib.dll").generic_string();
  EXPECT_EQ(asked, (std::vector<std::string>{"7.1 " + lib, "7.2 " + lib}));
}

TEST_F(FileSelection, ForceDirectoryMakesEveryMissingParent) {
  EXPECT_TRUE(engine.ForceDirectory(""));
  EXPECT_TRUE(engine.ForceDirectory((app / "a/b/c/").string()));
  EXPECT_TRUE(fs::is_directory(app / "a/b/c"));
  WriteFile(app / "file", "x");
  EXPECT_FALSE(engine.ForceDirectory((app / "file/sub").string()));
  // Names outside the ANSI code page of a Windows system.
  const fs::path greek = app / u8"\u0395\u03BB\u03BB\u03AC\u03B4\u03B1/\U0001F680";
  EXPECT_TRUE(engine.ForceDirectory(platform::Utf8String(greek)));
  EXPECT_TRUE(fs::is_directory(greek));
}

TEST_F(FileSelection, RunAndWaitReportsTheCommandAndTurnsAnExitCodeIntoTheLastError) {
  const std::string child = "\"" + ChildProgram().string() + "\"";
  EXPECT_TRUE(engine.RunAndWait(child + " exit=0", true, false, "", ""));
  const auto* report = engine.Find(msgNoText);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->arg, "Exec: " + child + " exit=0");
  EXPECT_EQ(report->status, 18);
  EXPECT_FALSE(engine.RunAndWait(child + " exit=5", false, true, "Patching", "Please wait"));
  EXPECT_EQ(platform::LastSystemError().code, 8197u);
  ASSERT_EQ(engine.dialogs.animations().size(), 1u);
  EXPECT_EQ(engine.dialogs.animations()[0].caption, "Patching");
  EXPECT_EQ(engine.dialogs.openAnimations(), 0) << "closed again";
  EXPECT_FALSE(engine.RunAndWait("no-such-program.exe", false, false, "", ""));
}

class FtpFileUpdates : public UpdateFixture {
 protected:
  FtpServer ftp;
};

TEST_F(FtpFileUpdates, FilesComeFromTheFtpFolder) {
  WriteFile(ftp.AnonymousRoot() / "pub/app/data.bin", Pattern(70000));
  engine.UpdateType = ftpUpdate;
  engine.Host = "127.0.0.1";
  engine.Port = ftp.port();
  engine.FTPDirectory = "pub/app";
  engine.FTPPassive = true;
  ASSERT_EQ(engine.StartConnection(), 0);
  ASSERT_EQ(engine.FTPConnect(), 0);
  UseControlFile({{"files", {"count=1"}}, {"file1", {"url=data.bin", "targetdir=" + app.string()}}});
  engine.GetFileDetails();
  ASSERT_EQ(engine.ProcessFileDetails(), 0);
  EXPECT_EQ(engine.GetFileUpdates(), 0);
  EXPECT_EQ(ReadFile(app / "data.bin"), Pattern(70000));
  engine.StopConnection();
}

}  // namespace
}  // namespace zephron::test
