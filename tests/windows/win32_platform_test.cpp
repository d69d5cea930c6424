// The Windows implementations of the platform units: what the system's own
// objects do that the Linux stand-ins imitate.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_io.h"
#include "platform/last_error.h"
#include "platform/lz_expand.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"
#include "xml/xml_error.h"
#include "xml/xml_stream.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;

TEST(Win32NamedMutex, ANameExistsWhileAHandleIsOpenAndGlobalIsItsOwnName) {
  {
    NamedMutex first("zephron-test-mutex");
    ASSERT_TRUE(first.valid()) << first.problem();
    EXPECT_FALSE(first.alreadyExisted());
    NamedMutex second("zephron-test-mutex");
    EXPECT_TRUE(second.alreadyExisted());
    NamedMutex global("Global\\zephron-test-mutex");
    EXPECT_FALSE(global.alreadyExisted());
    NamedMutex moved(std::move(second));
    EXPECT_TRUE(moved.valid());
  }
  EXPECT_FALSE(NamedMutex("zephron-test-mutex").alreadyExisted());
}

TEST(Win32ErrorTexts, ComeFromTheSystemAndTheInternetLibrarysTables) {
  EXPECT_FALSE(SystemErrorText(2).empty());
  EXPECT_FALSE(SystemErrorText(12007).empty());
  EXPECT_NE(SystemErrorText(12007), SystemErrorText(12029));
  EXPECT_EQ(SystemErrorText(2).back() == '\n', false);
  SetLastSystemError(12007);
  EXPECT_EQ(LastSystemError().text, SystemErrorText(12007));
}

TEST(Win32SpecialFolders, AreTheShellsFoldersWithForwardSlashes) {
  for (const auto& folder : {DocumentsFolder(), AppDataFolder(), LocalAppDataFolder(), WindowsFolder(),
                             SystemFolder(), ProgramFolder()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.find('\\'), std::string::npos) << folder;
    EXPECT_NE(folder.back(), '/') << folder;
    EXPECT_TRUE(DirectoryExists(folder)) << folder;
  }
  EXPECT_EQ(TempFolder().back(), '/');
  EXPECT_NE(AppDataFolder(), LocalAppDataFolder());
  EXPECT_EQ(fs::path(ProgramFile()).filename(), "win32_platform_tests.exe");
  EXPECT_EQ(ProgramFolder(), fs::path(ProgramFile()).parent_path().generic_string());
}

TEST(Win32Process, StartsWaitsAndReportsExitCodesAndMissingPrograms) {
  EXPECT_EQ(StartAndWait("cmd.exe /c exit 7", WindowState::Hidden), 7u);
  EXPECT_EQ(StartAndWait("cmd /c \"exit 0\"", WindowState::Hidden), 0u);
  EXPECT_EQ(StartAndWait("no-such-program-zephron.exe", WindowState::Hidden), std::nullopt);
  EXPECT_EQ(LastSystemError().code, 2u);
  EXPECT_EQ(WinExec("no-such-program-zephron.exe", WindowState::Hidden), 2u);
  EXPECT_GT(WinExec("cmd.exe /c exit 0", WindowState::Hidden), 31u);

  const auto cmd = FindProgram("cmd");
  ASSERT_TRUE(cmd);
  EXPECT_EQ(fs::path(*cmd).filename().string(), "cmd.exe");
  EXPECT_EQ(FindProgram("win32_platform_tests.exe"), ProgramFile());  // the program's own folder first
  EXPECT_EQ(FindProgram("no-such-program-zephron"), std::nullopt);
}

TEST(Win32Resources, AreTheProgramsRcdataResourcesByName) {
  const auto sample = FindResource("ZTEST");
  ASSERT_TRUE(sample);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample->data()), sample->size()),
            "A program resource, read back by the tests.\n");
  EXPECT_FALSE(FindResource("UPD"));
}

TEST(Win32LzExpand, ExpandsMscompressFilesAndTellsPlainAndDamagedOnes) {
  test::Sandbox sandbox;
  LzFile file("lz_sample.txt_");
  ASSERT_TRUE(file.IsOpen());
  const std::string original = test::ReadFile("lz_sample.txt");
  EXPECT_EQ(file.expandedSize(), original.size());
  const auto name = GetExpandedName(file);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->rfind("lz_sample.txt", 0), 0u) << *name;
  const std::string target = (sandbox.root() / "out.txt").string();
  ASSERT_EQ(LZCopy(file, target), LzStatus::kOk);
  EXPECT_EQ(test::ReadFile(target), original);

  EXPECT_EQ(LzFile("lz_sample.txt").status(), LzStatus::kNotCompressed);
  EXPECT_EQ(LzFile((sandbox.root() / "missing._").string()).status(), LzStatus::kCannotOpen);

  // Cut short: the stream ends before the stated size and the target stays as it was.
  const std::string compressed = test::ReadFile("lz_sample.txt_");
  const fs::path damaged = sandbox.root() / "damaged.tx_";
  test::WriteFile(damaged, compressed.substr(0, compressed.size() / 2));
  LzFile cut(damaged.string());
  ASSERT_TRUE(cut.IsOpen());
  EXPECT_EQ(LZCopy(cut, target), LzStatus::kCorrupt);
  EXPECT_EQ(test::ReadFile(target), original);
  for (const auto& entry : fs::directory_iterator(sandbox.root())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
  }
}

TEST(Win32FileIo, AppendsReplacesReadOnlyTargetsAndDeletesOnlyFiles) {
  test::Sandbox sandbox;
  const std::string log = (sandbox.root() / "log.txt").string();
  ASSERT_TRUE(AppendLine(log, "one"));
  ASSERT_TRUE(AppendLine(log, "two"));
  EXPECT_EQ(test::ReadFile(log), "one\r\ntwo\r\n");

  const fs::path target = sandbox.root() / "app.bin";
  test::WriteFile(target, "old");
  fs::permissions(target, fs::perms::owner_read);
  test::WriteFile(sandbox.root() / "new.bin", "new");
  ASSERT_TRUE(MoveFileReplacing((sandbox.root() / "new.bin").string(), target.string()));
  EXPECT_EQ(test::ReadFile(target), "new");
  EXPECT_FALSE(FileExists((sandbox.root() / "new.bin").string()));

  EXPECT_FALSE(MoveFileReplacing(target.string(), sandbox.root().string()));  // a folder in the way
  EXPECT_FALSE(DeleteFile(sandbox.root().string()));
  EXPECT_TRUE(DirectoryExists(sandbox.root().string()));
  EXPECT_TRUE(DeleteFile(target.string()));
  EXPECT_FALSE(FileExists(target.string()));
}

TEST(Win32XmlFileStream, AWriterKeepsOtherWritersOutWithoutTheFileBeingWiped) {
  test::Sandbox sandbox;
  const std::string path = (sandbox.root() / "doc.xml").string();
  {
    TxmlFileStream writer(path, TxmlFileStream::Mode::Create);
    ASSERT_EQ(writer.Write("<a/>", 4), 4u);
    EXPECT_THROW(TxmlFileStream(path, TxmlFileStream::Mode::Create), TxmlError);
    TxmlFileStream reader(path, TxmlFileStream::Mode::OpenRead);
    char bytes[4] = {};
    EXPECT_EQ(reader.Read(bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), "<a/>");
  }
  try {
    TxmlFileStream missing((sandbox.root() / "none.xml").string(), TxmlFileStream::Mode::OpenRead);
    FAIL() << "opened a missing file";
  } catch (const TxmlError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Unable to open file ", 0), 0u) << error.what();
  }
}

}  // namespace
}  // namespace zephron::platform
