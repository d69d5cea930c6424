// INI reading rules and byte-preserving writes of the profile-file stand-in.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

using test::ReadFile;
using test::WriteFile;

ProfileFile Text(std::string bytes) { return ProfileFile::FromBytes(std::move(bytes)); }

TEST(ProfileRead, SectionsAndKeysMatchWithoutCase) {
  auto ini = Text("[Update]\r\nNewVersion=1.2\r\n");
  EXPECT_EQ(ini.ReadString("update", "newversion", "-"), "1.2");
  EXPECT_EQ(ini.ReadString("UPDATE", "NEWVERSION", "-"), "1.2");
}

TEST(ProfileRead, ValueIsTextAfterFirstEqualsWithBlanksTrimmed) {
  auto ini = Text("[s]\n  key \t=  a = b \t\n");
  EXPECT_EQ(ini.ReadString("s", "key", "-"), "a = b");
}

TEST(ProfileRead, OnePairOfSurroundingQuotesIsStripped) {
  auto ini = Text("[s]\na=\"quoted text\"\nb='single'\nc=\"\"x\"\"\nd=\"open\ne=mid\"dle\"\n");
  EXPECT_EQ(ini.ReadString("s", "a", ""), "quoted text");
  EXPECT_EQ(ini.ReadString("s", "b", ""), "single");
  EXPECT_EQ(ini.ReadString("s", "c", ""), "\"x\"");
  EXPECT_EQ(ini.ReadString("s", "d", ""), "\"open");
  EXPECT_EQ(ini.ReadString("s", "e", ""), "mid\"dle\"");
}

TEST(ProfileRead, FirstOccurrenceWins) {
  auto ini = Text("[s]\nk=first\nK=second\n[S]\nk=third\nonly=later\n");
  EXPECT_EQ(ini.ReadString("s", "k", ""), "first");
  // A key of a repeated section is not seen: the first section of a name is the section.
  EXPECT_EQ(ini.ReadString("s", "only", "default"), "default");
}

TEST(ProfileRead, MissingKeysSectionsAndFilesYieldTheDefault) {
  auto ini = Text("[s]\nk=v\n");
  EXPECT_EQ(ini.ReadString("s", "missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("other", "k", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("s", "missing", 42), 42);
  test::Sandbox sandbox;
  ProfileFile missing((sandbox.root() / "none.ini").string());
  EXPECT_EQ(missing.ReadString("s", "k", "def"), "def");
}

TEST(ProfileRead, EmptyValueIsPresentAndEmpty) {
  auto ini = Text("[s]\nk=\n");
  EXPECT_EQ(ini.ReadString("s", "k", "def"), "");
  EXPECT_TRUE(ini.ValueExists("s", "k"));
}

TEST(ProfileRead, IntegersAreDecimalOrHexWithDollarOrZeroX) {
  auto ini = Text(
      "[n]\ndec=123\nneg=-5\nplus=+7\ndollar=$1F\nhex=0x1f\nupper=0X10\nallbits=$FFFFFFFF\ncrc=0xCBF43926\n"
      "max=2147483647\nmin=-2147483648\nover=2147483648\nhexover=$100000000\ntext=12abc\nblank=\nspace=1 2\n"
      "float=1.5\nbarehex=$\nbarex=0x\nbare=-\n");
  EXPECT_EQ(ini.ReadInteger("n", "dec", 0), 123);
  EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -5);
  EXPECT_EQ(ini.ReadInteger("n", "plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("n", "dollar", 0), 31);
  EXPECT_EQ(ini.ReadInteger("n", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("n", "upper", 0), 16);
  EXPECT_EQ(ini.ReadInteger("n", "allbits", 0), -1);
  EXPECT_EQ(ini.ReadInteger("n", "crc", 0), -873187034);
  EXPECT_EQ(ini.ReadInteger("n", "max", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("n", "min", 0), -2147483647 - 1);
  for (const char* bad : {"over", "hexover", "text", "blank", "space", "float", "barehex", "barex", "bare"}) {
    EXPECT_EQ(ini.ReadInteger("n", bad, -99), -99) << bad;
  }
}

TEST(ProfileRead, SwitchIsSetOnlyForOne) {
  auto ini = Text("[b]\none=1\ntwo=2\nzero=0\nhexone=$1\nyes=yes\n");
  EXPECT_TRUE(ini.ReadBool("b", "one", false));
  EXPECT_FALSE(ini.ReadBool("b", "two", true));
  EXPECT_FALSE(ini.ReadBool("b", "zero", true));
  EXPECT_TRUE(ini.ReadBool("b", "hexone", false));
  EXPECT_TRUE(ini.ReadBool("b", "yes", true));  // not an integer: the default
  EXPECT_FALSE(ini.ReadBool("b", "yes", false));
  EXPECT_TRUE(ini.ReadBool("b", "missing", true));
}

TEST(ProfileRead, AcceptsByteOrderMarkAndBothLineEnds) {
  auto ini = Text("\xEF\xBB\xBF[first]\r\na=1\r\n[second]\nb=2\n[third]\r\nc=3");
  EXPECT_EQ(ini.ReadString("first", "a", ""), "1");
  EXPECT_EQ(ini.ReadString("second", "b", ""), "2");
  EXPECT_EQ(ini.ReadString("third", "c", ""), "3");
}

TEST(ProfileRead, LeadingBlanksAndHeaderPaddingAreIgnored) {
  auto ini = Text("   [ padded ]  trailing text\n\t  key=v\n");
  EXPECT_EQ(ini.ReadString("padded", "key", ""), "v");
}

TEST(ProfileRead, LinesWithoutEqualsAndHeadersWithoutBracketAreGarbage) {
  auto ini = Text("[s]\njustakey\na=1\n[broken\nb=2\n");
  EXPECT_FALSE(ini.ValueExists("s", "justakey"));
  EXPECT_FALSE(ini.SectionExists("broken"));
  // The broken header does not end the section before it.
  EXPECT_EQ(ini.ReadString("s", "b", ""), "2");
}

TEST(ProfileRead, KeysBeforeAnySectionBelongToNone) {
  auto ini = Text("a=1\n[s]\nb=2\n");
  EXPECT_EQ(ini.ReadString("", "a", "def"), "def");
  EXPECT_EQ(ini.ReadString("s", "a", "def"), "def");
}

TEST(ProfileRead, NonUtf8BytesAreReadAsWindows1252) {
  auto ini = Text("[s]\nansi=M\xFCller \x80\nutf8=M\xC3\xBCller\nbroken=\xC3(\n");
  EXPECT_EQ(ini.ReadString("s", "ansi", ""), "M\xC3\xBCller \xE2\x82\xAC");
  EXPECT_EQ(ini.ReadString("s", "utf8", ""), "M\xC3\xBCller");
  EXPECT_EQ(ini.ReadString("s", "broken", ""), "\xC3\x83(");
}

TEST(ProfileRead, BinaryGarbageReadsAsDefaults) {
  std::mt19937 rng(1234);
  std::string bytes(1 << 20, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  auto ini = Text(bytes);
  EXPECT_EQ(ini.ReadString("update", "newversion", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("files", "count", 0), 0);
}

TEST(ProfileRead, TenMegabyteLineIsReadWhole) {
  std::string big(10 << 20, 'x');
  auto ini = Text("[s]\nlong=" + big + "\r\nafter=1\n" + "[t]" + big + "\n");
  EXPECT_EQ(ini.ReadString("s", "long", "").size(), big.size());
  EXPECT_EQ(ini.ReadInteger("s", "after", 0), 1);
  EXPECT_TRUE(ini.SectionExists("t"));
}

// ---- Writing ----

class ProfileWrite : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    path_ = (sandbox_.root() / "test.ini").string();
    WriteFile(path_, bytes);
    return path_;
  }
  std::string Contents() const { return ReadFile(path_); }

  test::Sandbox sandbox_;
  std::string path_;
};

TEST_F(ProfileWrite, SetsExistingKeyAndKeepsEverythingElse) {
  Write("; comment\r\n[a]\r\n  Key = old value ; x\r\nother=1\r\ngarbage line\r\n[b]\r\nkey=b\r\n");
  ProfileFile ini(path_);
  ASSERT_TRUE(ini.WriteString("A", "key", "new"));
  EXPECT_EQ(Contents(), "; comment\r\n[a]\r\nkey=new\r\nother=1\r\ngarbage line\r\n[b]\r\nkey=b\r\n");
  EXPECT_EQ(ini.ReadString("a", "key", ""), "new");
}

TEST_F(ProfileWrite, AddsNewKeyAfterTheSectionsLastKey) {
  Write("[a]\nx=1\ny=2\n\n; about b\n[b]\nz=3\n");
  ASSERT_TRUE(WriteProfileString(path_, "a", "new", "v"));
  EXPECT_EQ(Contents(), "[a]\nx=1\ny=2\nnew=v\n\n; about b\n[b]\nz=3\n");
}

TEST_F(ProfileWrite, AddsKeyToEmptySectionRightAfterItsHeader) {
  Write("[empty]\r\n[b]\r\nz=3\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "empty", "k", "v"));
  EXPECT_EQ(Contents(), "[empty]\r\nk=v\r\n[b]\r\nz=3\r\n");
}

TEST_F(ProfileWrite, AddsKeyToLastLineWithoutLineEnd) {
  Write("[a]\r\nx=1");
  ASSERT_TRUE(WriteProfileString(path_, "a", "y", "2"));
  EXPECT_EQ(Contents(), "[a]\r\nx=1\r\ny=2");
}

TEST_F(ProfileWrite, AppendsNewSectionInTheFilesLineEndStyle) {
  Write("[a]\nx=1");
  ASSERT_TRUE(WriteProfileString(path_, "CONFIG", "LOGFILENAME", "ZEPHRON.LOG"));
  EXPECT_EQ(Contents(), "[a]\nx=1\n[CONFIG]\nLOGFILENAME=ZEPHRON.LOG\n");
}

TEST_F(ProfileWrite, CreatesMissingFileWithCrLf) {
  path_ = (sandbox_.root() / "ZEPHRON.INI").string();
  ASSERT_TRUE(WriteProfileString(path_, "CONFIG", "LOGFILENAME", "x.log"));
  EXPECT_EQ(Contents(), "[CONFIG]\r\nLOGFILENAME=x.log\r\n");
  EXPECT_EQ(ReadProfileString(path_, "config", "logfilename", ""), "x.log");
}

TEST_F(ProfileWrite, KeepsByteOrderMarkAndForeignBytes) {
  Write("\xEF\xBB\xBF[a]\r\nx=\xFF\xFE\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "a", "y", "1"));
  EXPECT_EQ(Contents(), "\xEF\xBB\xBF[a]\r\nx=\xFF\xFE\r\ny=1\r\n");
}

TEST_F(ProfileWrite, ErasesSectionInTheMiddle) {
  Write("[update]\r\ndate=1\r\n\r\n[application]\r\nappname=x.exe\r\n; trailing\r\n\r\n[files]\r\ncount=0\r\n");
  ASSERT_TRUE(EraseProfileSection(path_, "Application"));
  EXPECT_EQ(Contents(), "[update]\r\ndate=1\r\n\r\n[files]\r\ncount=0\r\n");
}

TEST_F(ProfileWrite, ErasesSectionAtTheEnd) {
  Write("[update]\ndate=1\n[application]\nappname=x.exe");
  ASSERT_TRUE(EraseProfileSection(path_, "application"));
  EXPECT_EQ(Contents(), "[update]\ndate=1\n");
}

TEST_F(ProfileWrite, ErasesEveryRepeatOfTheSection) {
  Write("[app]\na=1\n[keep]\nk=1\n[APP]\nb=2\n");
  ProfileFile ini(path_);
  ASSERT_TRUE(ini.EraseSection("app"));
  EXPECT_EQ(Contents(), "[keep]\nk=1\n");
  EXPECT_EQ(ini.ReadString("app", "b", "gone"), "gone");
}

TEST_F(ProfileWrite, ErasingAMissingSectionChangesNothing) {
  Write("[a]\nx=1\n");
  EXPECT_TRUE(EraseProfileSection(path_, "b"));
  EXPECT_EQ(Contents(), "[a]\nx=1\n");
}

TEST_F(ProfileWrite, DeletesOneKey) {
  Write("[a]\r\nx=1\r\ny=2\r\n");
  ProfileFile ini(path_);
  ASSERT_TRUE(ini.DeleteKey("a", "X"));
  EXPECT_EQ(Contents(), "[a]\r\ny=2\r\n");
}

TEST_F(ProfileWrite, RefusesTextThatWouldChangeTheFilesStructure) {
  Write("[a]\nx=1\n");
  ProfileFile ini(path_);
  EXPECT_FALSE(ini.WriteString("a", "x", "1\r\n[evil]\r\ny=2"));
  EXPECT_FALSE(ini.WriteString("a", "k=v", "1"));
  EXPECT_FALSE(ini.WriteString("a", "[k", "1"));
  EXPECT_FALSE(ini.WriteString("a]", "k", "1"));
  EXPECT_FALSE(ini.WriteString("", "k", "1"));
  EXPECT_FALSE(ini.WriteString("a", " ", "1"));
  EXPECT_EQ(Contents(), "[a]\nx=1\n");
}

TEST_F(ProfileWrite, WritesToTheFileAsItIsOnDiskNow) {
  Write("[a]\nx=1\n");
  ProfileFile ini(path_);
  WriteFile(path_, "[a]\nx=1\n[later]\nz=9\n");
  ASSERT_TRUE(ini.WriteString("a", "y", "2"));
  EXPECT_EQ(Contents(), "[a]\nx=1\ny=2\n[later]\nz=9\n");
  EXPECT_EQ(ini.ReadString("later", "z", ""), "9");
}

TEST_F(ProfileWrite, FailsInMissingFolderWithoutCreatingIt) {
  const auto path = (sandbox_.root() / "no" / "such" / "x.ini").string();
  EXPECT_FALSE(WriteProfileString(path, "a", "b", "c"));
  EXPECT_FALSE(std::filesystem::exists(sandbox_.root() / "no"));
}

TEST_F(ProfileWrite, LeavesNoTemporaryFilesBehind) {
  Write("[a]\nx=1\n");
  ASSERT_TRUE(WriteProfileString(path_, "a", "x", "2"));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sandbox_.root())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace zephron::platform
