// Reading version resources from PE32, PE32+ and stamped ELF executables, and
// the refusal of files that have none, are truncated or are damaged.
#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/version_info_writer.h"
#include "tests/support/sandbox.h"
#include "tests/version/pe_writer.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using test::MakePe;
using test::Sandbox;
using test::TypicalPe;

std::string AsString(const std::vector<std::byte>& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<std::byte> AsBytes(const std::string& text) {
  std::vector<std::byte> out;
  for (const char c : text) out.push_back(static_cast<std::byte>(c));
  return out;
}

VersionInfoContent SampleContent() {
  StampedVersion v;
  v.fileVersion = "3.0.0.12";
  v.productVersion = "3.0";
  v.productName = "Tessel Server";
  v.fileDescription = "Tessel Server — Größe";  // not only ASCII
  auto content = MakeVersionContent(v);
  EXPECT_TRUE(content);
  return *content;
}

std::vector<std::byte> SampleBlock() { return *BuildVersionInfo(SampleContent()); }

// A fresh file each time: rewriting one file in place makes the file system
// flush it on every close, which slows loops of many variants to a crawl.
void Rewrite(const std::string& file, const std::string& bytes) {
  fs::remove(file);
  test::WriteFile(file, bytes);
}

std::optional<std::string> QueryText(const std::vector<std::byte>& block, std::string_view path) {
  const auto value = VerQueryValue(block, path);
  if (!value || !value->text) return std::nullopt;
  return VerValueText(*value);
}

// Every query our callers make; they must answer or refuse, never misbehave.
void QueryEverything(std::span<const std::byte> block) {
  for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\FileVersion",
                           "\\StringFileInfo\\040904B0\\ProductVersion", "\\StringFileInfo\\040904B0\\CompanyName",
                           "\\StringFileInfo\\040904B0", "\\StringFileInfo\\x\\y\\z"}) {
    if (const auto value = VerQueryValue(block, path)) {
      ASSERT_LE(value->data.data() + value->data.size(), block.data() + block.size());
      ASSERT_GE(value->data.data(), block.data());
      (void)VerValueText(*value);
      (void)VerValueDwords(*value);
      (void)VerValueFixedFileInfo(*value);
    }
  }
}

class VersionInfoTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = sandbox.root() / name;
    test::WriteFile(path, bytes);
    return path.string();
  }

  // A copy of the build's sample program stamped afresh, as the build stamps ours.
  std::string StampCopy(const std::string& name, const std::vector<std::string>& stampArgs) {
    const auto copy = sandbox.root() / name;
    fs::copy_file(ZEPHRON_STAMPED_SAMPLE, copy);
    const auto block = (sandbox.root() / (name + ".bin")).string();
    std::vector<std::string> argv = {ZEPHRON_STAMP_TOOL, "--output", block};
    argv.insert(argv.end(), stampArgs.begin(), stampArgs.end());
    const auto stamp = test::RunProgram(argv);
    EXPECT_EQ(stamp.exitCode, 0) << stamp.output;
    const auto objcopy = test::RunProgram({ZEPHRON_OBJCOPY, "--remove-section=.zephron.version", "--add-section",
                                           ".zephron.version=" + block, "--set-section-flags",
                                           ".zephron.version=noload,readonly", copy.string()});
    EXPECT_EQ(objcopy.exitCode, 0) << objcopy.output;
    return copy.string();
  }

  Sandbox sandbox;
};

class PeVersionInfoTest : public VersionInfoTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PeVersionInfoTest, ReadsFixedInfoTranslationAndStrings) {
  const auto block = SampleBlock();
  const auto file = Write("TesselServer.exe", MakePe(TypicalPe(block, GetParam())));

  EXPECT_EQ(GetFileVersionInfoSize(file), block.size());
  const auto read = GetFileVersionInfo(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, block);

  const auto fixed = VerValueFixedFileInfo(*VerQueryValue(*read, "\\"));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Cu);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00030000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  const auto translation = VerQueryValue(*read, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(VerValueDwords(*translation), std::vector<std::uint32_t>{0x04B00409});
  EXPECT_EQ(QueryText(*read, "\\StringFileInfo\\040904B0\\FileVersion"), "3.0.0.12");
  EXPECT_EQ(QueryText(*read, "\\StringFileInfo\\040904B0\\ProductVersion"), "3.0");
  EXPECT_EQ(QueryText(*read, "\\StringFileInfo\\040904B0\\CompanyName"), "Corvexis");
  EXPECT_EQ(QueryText(*read, "\\StringFileInfo\\040904B0\\FileDescription"), "Tessel Server — Größe");
}

// GNU objdump's PE reader, a parser of its own, takes our fixtures for what
// they claim to be and finds the version resource in them.
TEST_P(PeVersionInfoTest, FixturesAreValidForGnuObjdump) {
  const auto file = Write("fixture.exe", MakePe(TypicalPe(SampleBlock(), GetParam())));
  const auto dump = test::RunProgram({"objdump", "-p", file});
  ASSERT_EQ(dump.exitCode, 0) << dump.output;
  EXPECT_NE(dump.output.find(GetParam() ? "file format pei-x86-64" : "file format pei-i386"), std::string::npos)
      << dump.output;
  EXPECT_NE(dump.output.find(GetParam() ? "Magic\t\t\t020b" : "Magic\t\t\t010b"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("The .rsrc Resource Directory section"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("Entry: ID: 0x000010"), std::string::npos) << dump.output;  // RT_VERSION
  EXPECT_NE(dump.output.find("]: PNG"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("]: LOGO"), std::string::npos) << dump.output;
  EXPECT_EQ(dump.output.find("orrupt"), std::string::npos) << dump.output;
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PeVersionInfoTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

TEST_F(VersionInfoTest, QueryLengthsAreThoseOfThePlatform) {
  const auto block = SampleBlock();
  const auto root = VerQueryValue(block, "\\");
  ASSERT_TRUE(root);
  EXPECT_FALSE(root->text);
  EXPECT_EQ(root->length, 52u);

  const auto version = VerQueryValue(block, "\\StringFileInfo\\040904B0\\FileVersion");
  ASSERT_TRUE(version);
  EXPECT_TRUE(version->text);
  EXPECT_EQ(version->length, 9u);  // "3.0.0.12" and its terminating zero, in characters
  EXPECT_EQ(version->data.size(), 18u);

  const auto translation = VerQueryValue(block, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(translation->length, 4u);  // bytes

  const auto table = VerQueryValue(block, "\\StringFileInfo\\040904B0");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->length, 0u);
}

TEST_F(VersionInfoTest, QueryPathsIgnoreCaseAndEmptyParts) {
  const auto block = SampleBlock();
  EXPECT_EQ(QueryText(block, "\\stringfileinfo\\040904b0\\FILEVERSION"), "3.0.0.12");
  EXPECT_EQ(QueryText(block, "StringFileInfo\\\\040904B0\\FileVersion\\"), "3.0.0.12");
  EXPECT_TRUE(VerQueryValue(block, ""));
  EXPECT_FALSE(VerQueryValue(block, "\\StringFileInfo\\040704B0\\FileVersion"));
  EXPECT_FALSE(VerQueryValue(block, "\\StringFileInfo\\040904B0\\FileVersio"));
  EXPECT_FALSE(VerQueryValue(block, "\\StringFileInfo\\040904B0\\FileVersion\\More"));
  EXPECT_FALSE(VerQueryValue(block, "/StringFileInfo/040904B0/FileVersion"));
}

TEST_F(VersionInfoTest, BlockHasTheResourceCompilersLayout) {
  const auto block = SampleBlock();
  const auto word = [&](std::size_t at) {
    return std::to_integer<unsigned>(block[at]) | (std::to_integer<unsigned>(block[at + 1]) << 8);
  };
  EXPECT_EQ(word(0), block.size());  // wLength of the root is the whole block
  EXPECT_EQ(word(2), 52u);           // wValueLength: the fixed info
  EXPECT_EQ(word(4), 0u);            // binary
  EXPECT_EQ(AsString({block.begin() + 6, block.begin() + 6 + 32}),
            std::string("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0", 32));
  // Key ends at 38; the value starts on the next 4-byte boundary.
  EXPECT_EQ(AsString({block.begin() + 40, block.begin() + 44}), "\xBD\x04\xEF\xFE");
  EXPECT_EQ(block.size() % 4, 0u);
}

TEST_F(VersionInfoTest, SeveralStringTablesAndTranslations) {
  VersionInfoContent content;
  content.stringTables.push_back({0x0407, 0x04E4, {{"FileVersion", "1.0"}}});
  content.stringTables.push_back({0x0409, 0x04B0, {{"FileVersion", "2.0"}, {"Comments", ""}}});
  content.translations = {0x04E40407, 0x04B00409};
  const auto block = *BuildVersionInfo(content);
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704E4\\FileVersion"), "1.0");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "2.0");
  const auto empty = VerQueryValue(block, "\\StringFileInfo\\040904B0\\Comments");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->length, 1u);
  EXPECT_EQ(VerValueText(*empty), "");
  EXPECT_EQ(VerValueDwords(*VerQueryValue(block, "\\VarFileInfo\\Translation")),
            (std::vector<std::uint32_t>{0x04E40407, 0x04B00409}));
}

TEST_F(VersionInfoTest, BlockWithoutFixedInfoHasNoRootValue) {
  VersionInfoContent content = SampleContent();
  content.fixed.reset();
  const auto block = *BuildVersionInfo(content);
  const auto root = VerQueryValue(block, "\\");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->length, 0u);
  EXPECT_FALSE(VerValueFixedFileInfo(*root));
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "3.0.0.12");
}

TEST_F(VersionInfoTest, BuilderRefusesBlocksBeyondSixtyFourKilobytes) {
  VersionInfoContent content;
  content.stringTables.push_back({0x0409, 0x04B0, {{"Comments", std::string(40000, 'x')}}});
  EXPECT_FALSE(BuildVersionInfo(content));
  content.stringTables[0].strings[0].second.resize(30000);
  EXPECT_TRUE(BuildVersionInfo(content));
}

TEST_F(VersionInfoTest, VersionResourcePickedByNameAndLanguage) {
  auto blockWith = [](const std::string& fileVersion) {
    VersionInfoContent content;
    content.stringTables.push_back({0x0409, 0x04B0, {{"FileVersion", fileVersion}}});
    return *BuildVersionInfo(content);
  };
  auto fileVersionOf = [&](const test::PeOptions& options, const std::string& name) {
    const auto block = GetFileVersionInfo(Write(name, MakePe(options)));
    return block ? QueryText(*block, "\\StringFileInfo\\040904B0\\FileVersion") : std::nullopt;
  };

  test::PeOptions languages;
  languages.resources = {{"", 16, "", 1, 0x0407, blockWith("german")}, {"", 16, "", 1, 0x0409, blockWith("english")}};
  EXPECT_EQ(fileVersionOf(languages, "languages.exe"), "english");
  languages.resources.push_back({"", 16, "", 1, 0x0000, blockWith("neutral")});
  EXPECT_EQ(fileVersionOf(languages, "neutral.exe"), "neutral");

  test::PeOptions otherLanguage;
  otherLanguage.resources = {{"", 16, "", 1, 0x0411, blockWith("japanese")}};
  EXPECT_EQ(fileVersionOf(otherLanguage, "japanese.exe"), "japanese");

  test::PeOptions names;
  names.resources = {{"", 16, "", 2, 0x0409, blockWith("two")}, {"", 16, "", 1, 0x0409, blockWith("one")}};
  EXPECT_EQ(fileVersionOf(names, "names.exe"), "one");
  names.resources.erase(names.resources.begin() + 1);
  EXPECT_EQ(fileVersionOf(names, "name-two.exe"), "two");
  names.resources = {{"", 16, "VERSION", 0, 0x0409, blockWith("named")}};
  EXPECT_EQ(fileVersionOf(names, "named.exe"), "named");
}

TEST_F(VersionInfoTest, ReadsElfStampedByTheBuild) {
  EXPECT_GT(GetFileVersionInfoSize(ZEPHRON_STAMPED_SAMPLE), 0u);
  const auto block = GetFileVersionInfo(ZEPHRON_STAMPED_SAMPLE);
  ASSERT_TRUE(block);
  const auto fixed = VerValueFixedFileInfo(*VerQueryValue(*block, "\\"));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0.0.1, the project's version
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(VerValueDwords(*VerQueryValue(*block, "\\VarFileInfo\\Translation")),
            std::vector<std::uint32_t>{0x04B00409});
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\FileVersion"), ZEPHRON_PROJECT_VERSION);
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\ProductVersion"), ZEPHRON_PROJECT_VERSION);
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\ProductName"), "Zephron");
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\CompanyName"), "Corvexis");
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\FileDescription"), "Version stamping sample");

  // The stamp leaves the program working, and the program finds its own version.
  const auto run = test::RunProgram({ZEPHRON_STAMPED_SAMPLE});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, std::string(ZEPHRON_PROJECT_VERSION) + "\n");
}

TEST_F(VersionInfoTest, StampingToolStampsItself) {
  const auto shown = test::RunProgram({ZEPHRON_STAMP_TOOL, "--show", ZEPHRON_STAMP_TOOL});
  EXPECT_EQ(shown.exitCode, 0) << shown.output;
  EXPECT_NE(shown.output.find(std::string("  FileVersion: ") + ZEPHRON_PROJECT_VERSION + "\n"), std::string::npos)
      << shown.output;
  EXPECT_NE(shown.output.find("Fixed FileVersion: 1.0.0.1\n"), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("  CompanyName: Corvexis\n"), std::string::npos) << shown.output;
}

TEST_F(VersionInfoTest, RestampedElfCarriesTheNewVersionOnly) {
  const auto file = StampCopy("Quillon", {"--file-version", "2.1", "--product-version", "2.1.0.7", "--product-name",
                                          "Vardel Quillon", "--description", "Quillon"});
  const auto block = GetFileVersionInfo(file);
  ASSERT_TRUE(block);
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\FileVersion"), "2.1");
  EXPECT_EQ(QueryText(*block, "\\StringFileInfo\\040904B0\\ProductVersion"), "2.1.0.7");
  const auto fixed = VerValueFixedFileInfo(*VerQueryValue(*block, "\\"));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionLS, 7u);
  const auto sections = test::RunProgram({"readelf", "-S", "-W", file});
  std::size_t count = 0;
  for (auto at = sections.output.find(".zephron.version"); at != std::string::npos;
       at = sections.output.find(".zephron.version", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 1u) << sections.output;
}

TEST_F(VersionInfoTest, StampingToolRejectsBadVersions) {
  const auto block = (sandbox.root() / "block.bin").string();
  for (const char* bad : {"1.2.3.4.5", "1.x", "65536", "", "1..2", "-1"}) {
    const auto run = test::RunProgram({ZEPHRON_STAMP_TOOL, "--output", block, "--file-version", bad});
    EXPECT_EQ(run.exitCode, 2) << bad;
  }
  EXPECT_FALSE(fs::exists(block));
  EXPECT_EQ(test::RunProgram({ZEPHRON_STAMP_TOOL, "--output", block}).exitCode, 2);
  EXPECT_EQ(test::RunProgram({ZEPHRON_STAMP_TOOL, "--show", (sandbox.root() / "missing").string()}).exitCode, 1);
}

// ELF files of the other classes and byte orders, made by objcopy from a raw block.
TEST_F(VersionInfoTest, ReadsElf32AndBigEndianElf) {
  const auto block = SampleBlock();
  const auto raw = Write("block.bin", AsString(block));
  for (const char* format : {"elf32-i386", "elf32-big", "elf64-big", "elf64-x86-64"}) {
    const auto out = (sandbox.root() / (std::string(format) + ".o")).string();
    const auto run = test::RunProgram({ZEPHRON_OBJCOPY, "-I", "binary", "-O", format, "--rename-section",
                                       ".data=.zephron.version,readonly,contents", raw, out});
    ASSERT_EQ(run.exitCode, 0) << format << run.output;
    const auto read = GetFileVersionInfo(out);
    ASSERT_TRUE(read) << format;
    EXPECT_EQ(*read, block) << format;
  }
}

// A file of more than 5 GiB (a sparse hole after the image): only the
// headers, the resource directory and the block are read.
TEST_F(VersionInfoTest, LargeFileIsReadByItsHeadersAndBlockOnly) {
  const auto block = SampleBlock();
  auto pe = MakePe(TypicalPe(block, true));
  const auto file = Write("large.exe", pe);
  fs::resize_file(file, (std::uint64_t{5} << 30) + pe.size());  // a hole after the image
  const auto read = GetFileVersionInfo(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, block);
}

TEST_F(VersionInfoTest, FilesWithoutVersionInformation) {
  test::PeOptions noVersion;
  noVersion.resources = {{"", 3, "", 1, 0x0409, AsBytes("icon")}, {"", 24, "", 1, 0x0409, AsBytes("<manifest/>")}};
  test::PeOptions noResources;
  noResources.resourceSection = false;
  test::PeOptions plusNoResources = noResources;
  plusNoResources.pe32plus = true;

  const std::vector<std::string> files = {
      Write("no-version.exe", MakePe(noVersion)),
      Write("no-resources.exe", MakePe(noResources)),
      Write("no-resources64.exe", MakePe(plusNoResources)),
      Write("text.txt", "MZ but only text\n"),
      Write("empty", ""),
      Write("elf-magic-only", "\x7F" "ELF"),
      (sandbox.root() / "missing.exe").string(),
      sandbox.root().string(),
      "/proc/self/exe",  // this test program: an ELF without the version section
      "/dev/null",
  };
  for (const auto& file : files) {
    EXPECT_EQ(GetFileVersionInfoSize(file), 0u) << file;
    EXPECT_FALSE(GetFileVersionInfo(file)) << file;
  }
}

TEST_F(VersionInfoTest, MalformedBlocksGiveNoVersion) {
  const auto good = SampleBlock();
  auto withWord = [&](std::size_t at, unsigned value) {
    auto block = good;
    block[at] = static_cast<std::byte>(value & 0xFF);
    block[at + 1] = static_cast<std::byte>(value >> 8);
    return block;
  };
  auto inPe = [&](const std::vector<std::byte>& block, const std::string& name) {
    return GetFileVersionInfoSize(Write(name, MakePe(TypicalPe(block, false))));
  };
  EXPECT_EQ(inPe(withWord(0, good.size() + 4), "longer-than-resource.exe"), 0u);
  EXPECT_EQ(inPe(withWord(0, 5), "too-short.exe"), 0u);
  EXPECT_EQ(inPe(withWord(6, 'W'), "other-key.exe"), 0u);  // "WS_VERSION_INFO"
  EXPECT_EQ(inPe({good.begin(), good.begin() + 20}, "cut-in-key.exe"), 0u);

  // The root's value claims more than the node holds.
  EXPECT_FALSE(VerQueryValue(withWord(2, 0xFFFF), "\\"));
  // A string node whose length runs past its table: the table's other strings stay out of reach.
  const auto value = VerQueryValue(good, "\\StringFileInfo\\040904B0\\CompanyName");
  ASSERT_TRUE(value);
  const auto key = AsString(good).find(std::string("C\0o\0m\0p\0a\0n\0y\0N\0a\0m\0e\0\0\0", 24));
  ASSERT_NE(key, std::string::npos);
  const auto stringNode = key - 6;
  const auto broken = withWord(stringNode, 0xFFF0);
  EXPECT_FALSE(VerQueryValue(broken, "\\StringFileInfo\\040904B0\\CompanyName"));
  EXPECT_FALSE(VerQueryValue(broken, "\\StringFileInfo\\040904B0\\ProductVersion"));
  QueryEverything(broken);
  // A zero-length child ends the search instead of looping.
  EXPECT_FALSE(VerQueryValue(withWord(stringNode, 0), "\\StringFileInfo\\040904B0\\ProductVersion"));
}

TEST_F(VersionInfoTest, TruncatedPeHasNoVersionUntilTheBlockIsComplete) {
  for (const bool plus : {false, true}) {
    const auto block = SampleBlock();
    const auto pe = MakePe(TypicalPe(block, plus));
    const auto blockAt = pe.find(AsString(block));
    ASSERT_NE(blockAt, std::string::npos);
    const auto blockEnd = blockAt + block.size();
    const auto file = (sandbox.root() / "cut.exe").string();
    for (std::size_t length = 0; length <= pe.size(); ++length) {
      Rewrite(file, pe.substr(0, length));
      ASSERT_EQ(GetFileVersionInfoSize(file) != 0, length >= blockEnd) << "length " << length << " of " << pe.size();
    }
  }
}

TEST_F(VersionInfoTest, TruncatedElfHasNoVersion) {
  const auto elf = test::ReadFile(ZEPHRON_STAMPED_SAMPLE);
  const auto file = (sandbox.root() / "cut").string();
  // The section headers come last in the file, so any cut loses the section's
  // header or that of the section names.
  auto check = [&](std::size_t length) {
    Rewrite(file, elf.substr(0, length));
    return GetFileVersionInfoSize(file) == 0;
  };
  for (std::size_t length = 0; length < elf.size(); length += 1 + length / 8) ASSERT_TRUE(check(length)) << length;
  for (std::size_t length = elf.size() - 300; length < elf.size(); ++length) ASSERT_TRUE(check(length)) << length;
  EXPECT_FALSE(check(elf.size()));
}

// Random damage to whole files and to blocks: every answer stays within the
// data (the sanitizer build checks every read).
TEST_F(VersionInfoTest, DamagedFilesAndBlocksNeverReadOutsideTheirData) {
  std::mt19937 random(20240611);
  const auto block = SampleBlock();
  const std::vector<std::string> originals = {MakePe(TypicalPe(block, false)), MakePe(TypicalPe(block, true)),
                                              test::ReadFile(ZEPHRON_STAMPED_SAMPLE)};
  const auto file = (sandbox.root() / "damaged").string();
  int found = 0;
  for (const auto& original : originals) {
    for (int round = 0; round < 300; ++round) {
      auto damaged = original;
      const int flips = 1 + static_cast<int>(random() % 8);
      // Most flips go to the headers, where the offsets are.
      for (int i = 0; i < flips; ++i) {
        const std::size_t limit = (random() % 2 == 0) ? std::min<std::size_t>(damaged.size(), 0x400) : damaged.size();
        damaged[random() % limit] ^= static_cast<char>(1u << (random() % 8));
      }
      if (random() % 4 == 0) damaged.resize(random() % damaged.size());
      Rewrite(file, damaged);
      const auto size = GetFileVersionInfoSize(file);
      const auto read = GetFileVersionInfo(file);
      ASSERT_EQ(size, read ? read->size() : 0u);
      if (read) {
        ++found;
        QueryEverything(*read);
      }
    }
  }
  EXPECT_GT(found, 0);  // most damage misses the parts that matter

  for (int round = 0; round < 20000; ++round) {
    auto damaged = block;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] ^= static_cast<std::byte>(1u << (random() % 8));
    if (random() % 8 == 0) damaged.resize(random() % damaged.size());
    QueryEverything(damaged);
  }
}

}  // namespace
}  // namespace zephron::platform
