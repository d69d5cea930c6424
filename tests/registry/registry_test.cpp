#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::Sandbox;
using test::WriteFile;

// UTF-8 text to the bytes regedit writes: UTF-16LE with BOM.
std::string Utf16File(const std::string& utf8) { return regfile::EncodeUtf16Le(utf8); }

std::string HiveText(Hive hive) { return regfile::DecodeFileBytes(ReadFile(HiveFile(hive))); }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++count;
  return count;
}

std::string Upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetIs64BitSystemOverride(true); }
  void TearDown() override { SetIs64BitSystemOverride(std::nullopt); }

  static void Set(Hive hive, const std::string& path, const std::string& name, const std::string& data,
                  RegView view = RegView::Default) {
    auto key = RegistryKey::Create(hive, path, view);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString(name, data));
  }

  static std::optional<std::string> Get(Hive hive, const std::string& path, const std::string& name,
                                        RegView view = RegView::Default) {
    auto key = RegistryKey::Open(hive, path, view);
    if (!key) return std::nullopt;
    return key->ReadString(name);
  }

  Sandbox sandbox;
};

TEST_F(RegistryTest, StringsWithQuotesBackslashesAndNonAsciiReadBackUnchanged) {
  const std::vector<std::pair<std::string, std::string>> values = {
      {"InstallPath", "C:\\Program Files\\Corvexis\\"},
      {"Quoted \"name\"", "say \"hi\" \\\\server\\share"},
      {"Unicode", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9D\x84\x9E \xE6\x97\xA5\xE6\x9C\xAC"},
      {"Empty", ""},
      {"", "the default value"},
      {"Lines", "first\r\nsecond\nthird"},
  };
  for (const auto& [name, data] : values) Set(Hive::CurrentUser, "Software\\Corvexis", name, data);
  for (const auto& [name, data] : values) {
    EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", name), data) << name;
  }
  const auto key = RegistryKey::Open(Hive::CurrentUser, "Software\\Corvexis");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ValueNames().size(), values.size());
  // One line per value, so a hive stays readable by line-oriented tools.
  EXPECT_NE(HiveText(Hive::CurrentUser).find("\"Lines\"=hex(1):66,00,69,00"), std::string::npos);
}

TEST_F(RegistryTest, HiveFileIsWrittenAsRegeditWritesIt) {
  Set(Hive::LocalMachine, "System\\Corvexis", "Path", "C:\\Dir\\\"q\"");
  const std::string bytes = ReadFile(sandbox.registryDir() / "HKEY_LOCAL_MACHINE.reg");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(HiveText(Hive::LocalMachine),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\System]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\System\\Corvexis]\r\n"
            "\"Path\"=\"C:\\\\Dir\\\\\\\"q\\\"\"\r\n\r\n");
  EXPECT_EQ(HiveFile(Hive::CurrentUser), sandbox.registryDir() / "HKEY_CURRENT_USER.reg");
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
  Set(Hive::CurrentUser, "Software\\Corvexis\\\xC3\x84rger", "InstallPath", "one");
  Set(Hive::CurrentUser, "SOFTWARE\\corvexis\\\xC3\xA4RGER", "INSTALLPATH", "two");
  EXPECT_EQ(Get(Hive::CurrentUser, "software\\CORVEXIS\\\xC3\xA4rger", "installpath"), "two");
  const std::string text = HiveText(Hive::CurrentUser);
  EXPECT_EQ(Count(text, "InstallPath"), 1u);
  EXPECT_EQ(Count(Upper(text), "INSTALLPATH"), 1u);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Corvexis\\\xC3\x84rger]"), std::string::npos);
  const auto parent = RegistryKey::Open(Hive::CurrentUser, "software\\corvexis");
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubKeyNames(), std::vector<std::string>{"\xC3\x84rger"});
}

TEST_F(RegistryTest, KeysAreFoundThroughEveryPathSpelling) {
  Set(Hive::CurrentUser, "\\Software\\\\Corvexis\\", "A", "1");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", "A"), "1");
  EXPECT_TRUE(KeyExists(Hive::CurrentUser, "Software"));
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Soft"));
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Corvex"));
}

TEST_F(RegistryTest, WritesKeepOtherTypesCommentsAndUnknownLines) {
  const std::vector<std::string> kept = {
      "; written by hand",
      "[HKEY_CURRENT_USER\\Software\\Kept]",
      "\"Count\"=dword:0000002a",
      "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\",
      "  74,00,25,00,00,00",
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00",
      "\"Odd\"=str(9):whatever this is",
      "; a comment inside a key",
      "@=\"plain \\\\ text\"",
  };
  std::string file = "Windows Registry Editor Version 5.00\n\n";
  for (const auto& line : kept) file += line + "\n";
  WriteFile(HiveFile(Hive::CurrentUser), file);

  Set(Hive::CurrentUser, "Software\\Kept", "New", "value");
  Set(Hive::CurrentUser, "Software\\Other", "More", "value");
  const std::string text = HiveText(Hive::CurrentUser);
  std::size_t last = 0;
  for (const auto& line : kept) {
    const std::size_t at = text.find(line + "\r\n");
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_GE(at, last) << line;
    last = at;
  }
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Kept", "Expand"), "%SystemRoot%");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Kept", ""), "plain \\ text");
  EXPECT_FALSE(Get(Hive::CurrentUser, "Software\\Kept", "Count"));
  EXPECT_TRUE(RegistryKey::Open(Hive::CurrentUser, "Software\\Kept")->ValueExists("count"));
}

TEST_F(RegistryTest, ReadsAFileExportedOnWindows) {
  const std::string exported =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvexis\\Alpha]\r\n"
      "\"InstallPath\"=\"C:\\\\Program Files (x86)\\\\Corvexis\\\\Alpha\\\\\"\r\n"
      "\"Title\"=\"The \\\"Alpha\\\" \xC3\xA9" "dition\"\r\n"
      "\"Build\"=dword:00000539\r\n"
      "\"Home\"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,\\\r\n"
      "  00,65,00,73,00,25,00,5c,00,43,00,6f,00,72,00,76,00,65,00,78,00,69,00,73,00,\\\r\n"
      "  00,00\r\n"
      "\r\n";
  WriteFile(HiveFile(Hive::LocalMachine), Utf16File(exported));
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath"),
            "C:\\Program Files (x86)\\Corvexis\\Alpha\\");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "Title"), "The \"Alpha\" \xC3\xA9" "dition");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "Home"), "%ProgramFiles%\\Corvexis");
  EXPECT_FALSE(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "Build"));
  const auto key = RegistryKey::Open(Hive::LocalMachine, "Software\\Corvexis\\Alpha");
  ASSERT_TRUE(key);
  const auto values = key->Values();
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values[2].type, "REG_DWORD");
  EXPECT_EQ(values[2].display, "0x539");
  EXPECT_EQ(values[3].type, "REG_EXPAND_SZ");
  EXPECT_EQ(values[3].display, "%ProgramFiles%\\Corvexis");
}

TEST_F(RegistryTest, ReadsUtf8AnsiAndRegedit4Files) {
  WriteFile(HiveFile(Hive::CurrentUser), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Old]\r\n\"Name\"=\"caf\xE9\"\r\n");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Old", "Name"), "caf\xC3\xA9");
  WriteFile(HiveFile(Hive::CurrentUser),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\New]\n\"Name\"=\"\xE2\x82\xAC\"\n");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\New", "Name"), "\xE2\x82\xAC");
  const std::string withBom = Utf16File("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\NoBom]\r\n@=\"d\"\r\n");
  WriteFile(HiveFile(Hive::CurrentUser), withBom.substr(2));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\NoBom", ""), "d");
}

TEST_F(RegistryTest, DefaultViewOnA64BitSystemIsTheWow6432NodeKey) {
  Set(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", "32");
  Set(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", "64", RegView::Bits64);
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\WOW6432Node\\Corvexis\\Alpha", "InstallPath", RegView::Bits64), "32");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", RegView::Bits32), "32");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath"), "32");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", RegView::Bits64), "64");
  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "Software\\Corvexis")->path(), "Software\\WOW6432Node\\Corvexis");
  // A path that already names the 32-bit branch is not redirected twice.
  EXPECT_EQ(RedirectedKeyPath(Hive::LocalMachine, "software\\wow6432node\\X", RegView::Default), "software\\wow6432node\\X");
  // Only HKLM\Software is redirected.
  EXPECT_EQ(RedirectedKeyPath(Hive::LocalMachine, "System\\X", RegView::Bits32), "System\\X");
  EXPECT_EQ(RedirectedKeyPath(Hive::CurrentUser, "Software\\X", RegView::Bits32), "Software\\X");
  Set(Hive::CurrentUser, "Software\\Corvexis", "Shared", "yes");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", "Shared", RegView::Bits64), "yes");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", "Shared", RegView::Bits32), "yes");
}

TEST_F(RegistryTest, A32BitSystemHasNoRedirection) {
  SetIs64BitSystemOverride(false);
  EXPECT_FALSE(Is64BitSystem());
  Set(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", "only");
  for (const RegView view : {RegView::Default, RegView::Bits32, RegView::Bits64}) {
    EXPECT_EQ(Get(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", view), "only");
    EXPECT_EQ(RedirectedKeyPath(Hive::LocalMachine, "Software\\Corvexis", view), "Software\\Corvexis");
  }
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software\\WOW6432Node", RegView::Bits64));
}

TEST_F(RegistryTest, SystemBitsComeFromTheEnvironmentWithoutOverride) {
  SetIs64BitSystemOverride(std::nullopt);
  sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", "32");
  EXPECT_FALSE(Is64BitSystem());
  EXPECT_EQ(RedirectedKeyPath(Hive::LocalMachine, "Software\\X", RegView::Default), "Software\\X");
  sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", "64");
  EXPECT_TRUE(Is64BitSystem());
  EXPECT_EQ(RedirectedKeyPath(Hive::LocalMachine, "Software\\X", RegView::Default), "Software\\WOW6432Node\\X");
  sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", std::nullopt);
  EXPECT_EQ(Is64BitSystem(), sizeof(void*) == 8);  // this test machine's word size
  SetIs64BitSystemOverride(false);
  sandbox.SetEnv("ZEPHRON_SYSTEM_BITS", "64");
  EXPECT_FALSE(Is64BitSystem());
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEveryValue) {
  constexpr int kWrites = 50;
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        auto key = RegistryKey::Create(Hive::CurrentUser, "Software\\Race\\P" + std::to_string(process));
        if (!key || !key->WriteString("V" + std::to_string(i), std::to_string(process * 1000 + i))) ++failures;
        auto shared = RegistryKey::Create(Hive::CurrentUser, "Software\\Race");
        if (!shared || !shared->WriteString("P" + std::to_string(process) + "_" + std::to_string(i), "x")) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int process = 0; process < 2; ++process) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Race\\P" + std::to_string(process), "V" + std::to_string(i)),
                std::to_string(process * 1000 + i));
    }
  }
  EXPECT_EQ(RegistryKey::Open(Hive::CurrentUser, "Software\\Race")->ValueNames().size(), 2u * kWrites);
  // Nothing but the hive and its lock is left in the folder (no temporary files).
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(sandbox.registryDir())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}));
}

TEST_F(RegistryTest, MalformedHiveIsReportedOnceAndNeverTruncated) {
  const std::string tail =
      "this line is not registry text\n"
      "[HKEY_CURRENT_USER\\Software\\After]\n"
      "\"Lost\"=\"not read, but kept\"\n";
  WriteFile(HiveFile(Hive::CurrentUser),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Before]\n"
            "\"Kept\"=\"yes\"\n\n" +
                tail);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Before", "Kept"), "yes");
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\After"));
  Set(Hive::CurrentUser, "Software\\Before", "Added", "1");
  Set(Hive::CurrentUser, "Software\\New", "Added", "2");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\New", "Added"), "2");
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(errors, "zephron registry: " + HiveFile(Hive::CurrentUser).string() + ": malformed at line 6; "), 1u)
      << errors;
  EXPECT_EQ(Count(errors, "\n"), 1u) << errors;

  const std::string text = HiveText(Hive::CurrentUser);
  EXPECT_NE(text.find("\"Kept\"=\"yes\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Added\"=\"1\"\r\n"), std::string::npos);
  // The unparsed rest follows the parsed part, line for line.
  std::string tailCrLf;
  for (std::size_t pos = 0; pos < tail.size(); ++pos) tailCrLf += tail[pos] == '\n' ? std::string("\r\n") : std::string(1, tail[pos]);
  EXPECT_NE(text.find(tailCrLf), std::string::npos) << text;
  EXPECT_GT(text.find(tailCrLf), text.find("[HKEY_CURRENT_USER\\Software\\New]"));
  // Written again and again, it stays the same size: nothing is lost or doubled.
  Set(Hive::CurrentUser, "Software\\New", "Added", "3");
  const std::string again = HiveText(Hive::CurrentUser);
  EXPECT_EQ(again.size(), text.size());
  EXPECT_EQ(Count(again, "this line is not registry text"), 1u);
}

TEST_F(RegistryTest, NewKeyLeavesTheUnreadTailOfADamagedHiveWhereItWas) {
  const std::string lastBlock =
      "[HKEY_CURRENT_USER\\Software\\Last]\r\n"
      "\"Kept\"=\"yes\"\r\n"
      "\r\n"
      "not registry text\r\n"
      "  \"Half\"=\"unread\"\r\n";
  WriteFile(HiveFile(Hive::CurrentUser), Utf16File("Windows Registry Editor Version 5.00\r\n\r\n" + lastBlock));
  ::testing::internal::CaptureStderr();
  Set(Hive::CurrentUser, "Software\\Zebra", "Added", "1");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Zebra", "Added"), "1");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Last", "Kept"), "yes");
  ::testing::internal::GetCapturedStderr();
  const std::string text = HiveText(Hive::CurrentUser);
  ASSERT_GE(text.size(), lastBlock.size());
  EXPECT_EQ(text.substr(text.size() - lastBlock.size()), lastBlock) << text;
}

// Temporary files of hive writes, as a writer that was killed leaves them.
class HiveTemporaryFiles : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    Set(Hive::CurrentUser, "Software\\Corvexis", "First", "1");
  }
  fs::path Plant(const std::string& name, bool old) {
    const fs::path file = sandbox.registryDir() / name;
    WriteFile(file, "partial");
    if (old) {
      const timeval past{::time(nullptr) - 2 * 3600, 0};
      const timeval times[2] = {past, past};
      EXPECT_EQ(::utimes(file.c_str(), times), 0);
    }
    return file;
  }
};

TEST_F(HiveTemporaryFiles, StaleOnesGoWithTheNextWriteOfTheirHive) {
  const fs::path stale = Plant("HKEY_CURRENT_USER.reg.Ab12Cd", true);
  const fs::path young = Plant("HKEY_CURRENT_USER.reg.Ef34Gh", false);
  const fs::path otherHive = Plant("HKEY_LOCAL_MACHINE.reg.Ij56Kl", true);
  const fs::path notOurs = Plant("backup.reg.Mn78Op", true);
  Set(Hive::CurrentUser, "Software\\Corvexis", "Second", "2");
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(young));
  EXPECT_TRUE(fs::exists(otherHive));
  EXPECT_TRUE(fs::exists(notOurs));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", "Second"), "2");
}

TEST_F(HiveTemporaryFiles, OneHeldByALiveWriterStays) {
  const fs::path held = Plant("HKEY_CURRENT_USER.reg.Qr90St", true);
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = ::open(held.c_str(), O_RDWR);
    const char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    [[maybe_unused]] auto n = ::write(ready[1], &byte, 1);
    ::close(release[1]);
    char end;
    [[maybe_unused]] auto m = ::read(release[0], &end, 1);  // until the parent closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  Set(Hive::CurrentUser, "Software\\Corvexis", "Second", "2");
  EXPECT_TRUE(fs::exists(held));
  ::close(release[1]);
  ::close(ready[0]);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  Set(Hive::CurrentUser, "Software\\Corvexis", "Third", "3");
  EXPECT_FALSE(fs::exists(held));  // its writer is gone now
}

// Whatever a hive file holds, a write keeps every non-blank line of it, in
// order (only a "REGEDIT4" header becomes the version 5 header).
TEST_F(RegistryTest, WritesNeverDropALineOfAnyHiveFile) {
  const std::vector<std::string> pool = {
      "[HKEY_CURRENT_USER\\Software\\A]", "[HKEY_CURRENT_USER\\Software\\A\\B]", "[-HKEY_CURRENT_USER\\Software\\C]",
      "[HKEY_LOCAL_MACHINE\\Software\\Other]", "[HKEY_CURRENT_USER\\Software", "[]", "[", "]",
      "\"V\"=\"x\"", "\"v\"=\"y \\\" z\"", "@=\"d\"", "@=", "@", "\"", "\"open", "\"n\"=\"open", "\"n\"=\"a\" tail",
      "\"D\"=dword:00000001", "\"H\"=hex:01,02,\\", "  03,04,\\", "  05", "\"E\"=hex(2):41,00,00,00", "\"X\"=-",
      "; comment", "  ; indented comment", "garbage", "=", "\\", "  ", "\t", "REGEDIT4",
      "Windows Registry Editor Version 5.00", "\"\xC3\xBC\"=\"\xE2\x82\xAC\"", "\"bad\xFF\"=\"x\"",
  };
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  ::testing::internal::CaptureStderr();
  for (int round = 0; round < 60; ++round) {
    sandbox.SetEnv("ZEPHRON_REGISTRY_DIR", (sandbox.root() / ("fuzz" + std::to_string(round))).string());
    std::vector<std::string> lines;
    if (next() % 4 != 0) lines.push_back(next() % 2 ? "Windows Registry Editor Version 5.00" : "REGEDIT4");
    const int count = static_cast<int>(next() % 12);
    for (int i = 0; i < count; ++i) lines.push_back(pool[next() % pool.size()]);
    std::string file;
    for (const auto& line : lines) file += line + (next() % 3 ? "\r\n" : "\n");
    if (next() % 2) file = regfile::DecodeFileBytes(file);  // as the reader will see an ANSI file
    WriteFile(HiveFile(Hive::CurrentUser), next() % 2 ? Utf16File(file) : file);
    const std::string before = regfile::DecodeFileBytes(ReadFile(HiveFile(Hive::CurrentUser)));

    Set(Hive::CurrentUser, "Software\\Fuzz\\Written", "Value", "data");
    const std::string after = HiveText(Hive::CurrentUser);
    std::size_t at = 0;
    bool headerSeen = false;
    for (std::size_t pos = 0; pos < before.size();) {
      std::size_t end = before.find('\n', pos);
      if (end == std::string::npos) end = before.size();
      std::string line = before.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos) continue;
      if (!headerSeen && (line == "REGEDIT4" || line == "Windows Registry Editor Version 5.00")) {
        headerSeen = true;
        continue;
      }
      headerSeen = true;
      const std::size_t found = after.find(line + "\r\n", at);
      ASSERT_NE(found, std::string::npos) << "round " << round << ": lost \"" << line << "\" of\n" << before << "\nnow\n" << after;
      at = found + line.size();
    }
  }
  ::testing::internal::GetCapturedStderr();
}

TEST_F(RegistryTest, HiveWithoutHeaderKeepsEveryLine) {
  const std::string content = "[HKEY_CURRENT_USER\\Software\\NoHeader]\n\"A\"=\"1\"\n";
  WriteFile(HiveFile(Hive::CurrentUser), "garbage first\n" + content);
  ::testing::internal::CaptureStderr();
  Set(Hive::CurrentUser, "Software\\Fresh", "B", "2");
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("malformed at line 1"), std::string::npos);
  const std::string text = HiveText(Hive::CurrentUser);
  EXPECT_NE(text.find("garbage first\r\n[HKEY_CURRENT_USER\\Software\\NoHeader]\r\n\"A\"=\"1\"\r\n"), std::string::npos);
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Fresh", "B"), "2");
}

TEST_F(RegistryTest, ValueBeforeTheFirstKeyIsKeptWhereNoKeyAdoptsIt) {
  WriteFile(HiveFile(Hive::CurrentUser),
            "Windows Registry Editor Version 5.00\n\"Orphan\"=\"o\"\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=\"1\"\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\A", "V"), "1");
  Set(Hive::CurrentUser, "Software\\B", "W", "2");
  Set(Hive::CurrentUser, "Software\\A", "X", "3");
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("malformed at line 2; a value before the first key"), std::string::npos) << errors;
  EXPECT_EQ(Count(errors, "\n"), 1u);
  const std::string text = HiveText(Hive::CurrentUser);
  EXPECT_EQ(text.find("\"Orphan\"=\"o\"\r\n"), text.find("\r\n") + 4) << text;
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software\\B")->ValueExists("Orphan"));
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software\\A")->ValueExists("Orphan"));
}

TEST_F(RegistryTest, RootKeysHoldValuesToo) {
  Set(Hive::CurrentUser, "", "AtRoot", "r");
  Set(Hive::CurrentUser, "Software", "Below", "b");
  EXPECT_EQ(Get(Hive::CurrentUser, "", "AtRoot"), "r");
  EXPECT_EQ(RegistryKey::Open(Hive::CurrentUser, "")->SubKeyNames(), std::vector<std::string>{"Software"});
  EXPECT_NE(HiveText(Hive::CurrentUser).find("[HKEY_CURRENT_USER]\r\n\"AtRoot\"=\"r\"\r\n"), std::string::npos);
}

TEST_F(RegistryTest, UnreadableHiveIsNeverReplaced) {
  fs::create_directories(HiveFile(Hive::CurrentUser));  // a folder where the file should be
  EXPECT_FALSE(RegistryKey::Create(Hive::CurrentUser, "Software\\X"));
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software"));
  EXPECT_TRUE(fs::is_directory(HiveFile(Hive::CurrentUser)));
}

TEST_F(RegistryTest, KeysOpenedForReadingRefuseWrites) {
  Set(Hive::CurrentUser, "Software\\Corvexis", "A", "1");
  auto key = RegistryKey::Open(Hive::CurrentUser, "Software\\Corvexis");
  ASSERT_TRUE(key);
  EXPECT_FALSE(key->WriteString("A", "2"));
  EXPECT_FALSE(key->DeleteValue("A"));
  EXPECT_EQ(key->ReadString("A"), "1");
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software\\Missing"));
}

TEST_F(RegistryTest, DeletesValuesAndWholeSubtrees) {
  Set(Hive::CurrentUser, "Software\\Tree\\A\\Deep", "X", "1");
  Set(Hive::CurrentUser, "Software\\Tree\\B", "Y", "2");
  Set(Hive::CurrentUser, "Software\\TreeSibling", "Z", "3");
  auto b = RegistryKey::Create(Hive::CurrentUser, "Software\\Tree\\B");
  EXPECT_TRUE(b->DeleteValue("y"));
  EXPECT_FALSE(b->DeleteValue("y"));
  EXPECT_FALSE(b->ValueExists("Y"));
  EXPECT_TRUE(DeleteKey(Hive::CurrentUser, "software\\tree"));
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Tree\\A\\Deep"));
  EXPECT_FALSE(DeleteKey(Hive::CurrentUser, "Software\\Tree"));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\TreeSibling", "Z"), "3");
  EXPECT_FALSE(DeleteKey(Hive::CurrentUser, ""));
  // A write through a key whose key was deleted meanwhile brings it back.
  EXPECT_TRUE(b->WriteString("Again", "4"));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Tree\\B", "Again"), "4");
}

TEST_F(RegistryTest, FirstWriteCreatesTheRegistryFolder) {
  const fs::path dir = sandbox.root() / "not" / "yet" / "there";
  sandbox.SetEnv("ZEPHRON_REGISTRY_DIR", dir.string());
  EXPECT_FALSE(RegistryKey::Open(Hive::LocalMachine, "Software"));
  EXPECT_FALSE(fs::exists(dir));
  Set(Hive::LocalMachine, "Software\\Corvexis", "A", "1");
  EXPECT_TRUE(fs::exists(dir / "HKEY_LOCAL_MACHINE.reg"));
}

TEST_F(RegistryTest, RelativeRegistryDirStaysWhereItFirstPointed) {
  fs::current_path(sandbox.root());
  sandbox.SetEnv("ZEPHRON_REGISTRY_DIR", "relative-registry");
  Set(Hive::CurrentUser, "Software\\Corvexis", "A", "1");
  fs::create_directories(sandbox.root() / "elsewhere");
  fs::current_path(sandbox.root() / "elsewhere");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Corvexis", "A"), "1");
  EXPECT_EQ(HiveFile(Hive::CurrentUser), sandbox.root() / "relative-registry/HKEY_CURRENT_USER.reg");
}

TEST_F(RegistryTest, WithoutRegistryDirTheDefaultFoldersAreUsed) {
  sandbox.SetEnv("ZEPHRON_REGISTRY_DIR", std::nullopt);
  EXPECT_EQ(HiveFile(Hive::LocalMachine), fs::path("/var/lib/zephron/registry/HKEY_LOCAL_MACHINE.reg"));
  EXPECT_EQ(HiveFile(Hive::CurrentUser), sandbox.appData() / "zephron/registry/HKEY_CURRENT_USER.reg");
  sandbox.SetEnv("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(HiveFile(Hive::CurrentUser), sandbox.home() / ".config/zephron/registry/HKEY_CURRENT_USER.reg");
  sandbox.SetEnv("XDG_CONFIG_HOME", "not/absolute");
  EXPECT_EQ(HiveFile(Hive::CurrentUser), sandbox.home() / ".config/zephron/registry/HKEY_CURRENT_USER.reg");
}

TEST_F(RegistryTest, ParsesKeyNamesWithEitherRootSpelling) {
  auto name = ParseKeyName("hklm\\Software\\\\Corvexis\\");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->hive, Hive::LocalMachine);
  EXPECT_EQ(name->path, "Software\\Corvexis");
  name = ParseKeyName("HKEY_CURRENT_USER");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->hive, Hive::CurrentUser);
  EXPECT_EQ(name->path, "");
  EXPECT_FALSE(ParseKeyName("HKCR\\.txt"));
  EXPECT_FALSE(ParseKeyName("HKLMX\\Software"));
}

TEST_F(RegistryTest, ExportedSubtreeImportsIntoAnEmptyRegistry) {
  Set(Hive::LocalMachine, "Software\\Corvexis\\Alpha", "InstallPath", "C:\\A \"x\"", RegView::Bits64);
  Set(Hive::LocalMachine, "Software\\Corvexis\\Alpha\\Sub", "", "default", RegView::Bits64);
  WriteFile(HiveFile(Hive::LocalMachine),
            regfile::DecodeFileBytes(ReadFile(HiveFile(Hive::LocalMachine))) +
                "[HKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha]\n\"Flags\"=hex:01,02,\\\n  03\n");
  const fs::path file = sandbox.root() / "export.reg";
  ASSERT_TRUE(ExportKey(Hive::LocalMachine, "software\\corvexis", RegView::Bits64, file));
  EXPECT_EQ(ReadFile(file).substr(0, 2), "\xFF\xFE");
  const std::string exported = regfile::DecodeFileBytes(ReadFile(file));
  EXPECT_EQ(exported,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Corvexis]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha]\r\n"
            "\"InstallPath\"=\"C:\\\\A \\\"x\\\"\"\r\n"
            "\"Flags\"=hex:01,02,\\\r\n  03\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Corvexis\\Alpha\\Sub]\r\n"
            "@=\"default\"\r\n\r\n");
  EXPECT_FALSE(ExportKey(Hive::LocalMachine, "Software\\Missing", RegView::Bits64, file));

  fs::remove(HiveFile(Hive::LocalMachine));
  const auto result = ImportRegFile(file, RegView::Bits64);
  EXPECT_EQ(result.code, ImportResult::Code::Ok) << result.detail;
  EXPECT_EQ(ExportKeyText(Hive::LocalMachine, "Software\\Corvexis", RegView::Bits64), exported);
}

TEST_F(RegistryTest, ImportDeletesKeysAndValuesAndGoesThroughTheView) {
  Set(Hive::CurrentUser, "Software\\Gone\\Child", "A", "1");
  Set(Hive::CurrentUser, "Software\\Stay", "Old", "1");
  Set(Hive::CurrentUser, "Software\\Stay", "Keep", "1");
  const fs::path file = sandbox.root() / "change.reg";
  WriteFile(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[-HKEY_CURRENT_USER\\Software\\Gone]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Stay]\n\"old\"=-\n\"New\"=\"2\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Corvexis]\n\"InstallPath\"=\"/opt/corvexis\"\n");
  const auto result = ImportRegFile(file, RegView::Bits32);
  ASSERT_EQ(result.code, ImportResult::Code::Ok) << result.detail;
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\Gone"));
  EXPECT_FALSE(RegistryKey::Open(Hive::CurrentUser, "Software\\Stay")->ValueExists("Old"));
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Stay", "Keep"), "1");
  EXPECT_EQ(Get(Hive::CurrentUser, "Software\\Stay", "New"), "2");
  EXPECT_EQ(Get(Hive::LocalMachine, "Software\\WOW6432Node\\Corvexis", "InstallPath", RegView::Bits64), "/opt/corvexis");
}

TEST_F(RegistryTest, ImportOfABadFileChangesNothing) {
  Set(Hive::CurrentUser, "Software\\Stay", "A", "1");
  const std::string before = ReadFile(HiveFile(Hive::CurrentUser));
  const fs::path file = sandbox.root() / "bad.reg";
  WriteFile(file, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Stay]\n\"A\"=-\n\"B\"=\"open\n");
  auto result = ImportRegFile(file);
  EXPECT_EQ(result.code, ImportResult::Code::Malformed);
  EXPECT_EQ(result.detail, "line 5: a string value without its closing quote");
  WriteFile(file, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Stay]\n\"A\"=-\n[HKEY_USERS\\X]\n");
  result = ImportRegFile(file);
  EXPECT_EQ(result.code, ImportResult::Code::InvalidKey);
  EXPECT_EQ(ImportRegFile(sandbox.root() / "missing.reg").code, ImportResult::Code::CannotOpen);
  EXPECT_EQ(ReadFile(HiveFile(Hive::CurrentUser)), before);
}

}  // namespace
}  // namespace zephron::platform
