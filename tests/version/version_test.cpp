// The engine's version texts: file versions from version resources, their
// dotted form, and the versions that control files announce.
#include "engine/version.h"

#include <gtest/gtest.h>

#include "platform/version_info_writer.h"
#include "tests/support/sandbox.h"
#include "tests/version/pe_writer.h"

namespace zephron {
namespace {

tfvi V(std::uint32_t ms, std::uint32_t ls) { return {static_cast<std::int32_t>(ms), static_cast<std::int32_t>(ls)}; }
const tfvi kNone = V(0xFFFFFFFF, 0xFFFFFFFF);

TEST(ParseVersionTest, DottedVersionsOfOneToFourParts) {
  EXPECT_EQ(ParseVersion("1.2.3.4"), V(0x00010002, 0x00030004));
  EXPECT_EQ(ParseVersion("1.2.3"), V(0x00010002, 0x00030000));
  EXPECT_EQ(ParseVersion("1.2"), V(0x00010002, 0));
  EXPECT_EQ(ParseVersion("3"), V(0x00030000, 0));
  EXPECT_EQ(ParseVersion("65535.65535.65535.65535"), kNone);
}

TEST(ParseVersionTest, CommaIsTheSeparatorWhenPresent) {
  EXPECT_EQ(ParseVersion("2,0,1,5"), V(0x00020000, 0x00010005));
  // With a comma, "1.2" is one (bad) major piece.
  EXPECT_EQ(ParseVersion("1.2,3").versionms, -1);
}

TEST(ParseVersionTest, BadBuildLeavesVersionlsUnset) {
  EXPECT_EQ(ParseVersion("1.2.3.x"), V(0x00010002, 0xFFFFFFFF));
  EXPECT_EQ(ParseVersion("1.2.3.4.5"), V(0x00010002, 0xFFFFFFFF));  // "4.5" is the build piece
  EXPECT_EQ(ParseVersion("1.2.x.4"), V(0x00010002, 0xFFFFFFFF));
  EXPECT_EQ(ParseVersion("1.2.x"), V(0x00010002, 0xFFFFFFFF));
  EXPECT_EQ(ParseVersion("1.2.3."), V(0x00010002, 0xFFFFFFFF));
}

TEST(ParseVersionTest, BadMajorOrMinorReadsTheRestAsTheNextField) {
  // After a bad minor the rest is the release: "3" parses, "3.4" does not.
  EXPECT_EQ(ParseVersion("1.x.3"), V(0x00010000, 0x00030000));
  EXPECT_EQ(ParseVersion("1.x.3.4"), V(0x00010000, 0xFFFFFFFF));
  // A bad major never gives a version.
  EXPECT_EQ(ParseVersion("x.2").versionms, -1);
  EXPECT_EQ(ParseVersion("x.2.3.4").versionms, -1);
  EXPECT_EQ(ParseVersion(".2").versionms, -1);
}

TEST(ParseVersionTest, TextWithoutNumbersIsNoVersion) {
  EXPECT_EQ(ParseVersion(""), kNone);
  EXPECT_EQ(ParseVersion("beta"), kNone);
  EXPECT_EQ(ParseVersion("3 "), kNone);
  EXPECT_EQ(ParseVersion("99999999999"), kNone);  // beyond 32 bits
}

TEST(ParseVersionTest, PiecesAreDecimalWithOptionalSignAndLeadingBlanks) {
  EXPECT_EQ(ParseVersion(" 1. 2"), V(0x00010002, 0));
  EXPECT_EQ(ParseVersion("+1.2"), V(0x00010002, 0));
  EXPECT_EQ(ParseVersion("010.020"), V(0x000A0014, 0));
  EXPECT_EQ(ParseVersion("-1.0"), V(0xFFFF0000, 0));
  EXPECT_EQ(ParseVersion("0x10"), kNone);
}

TEST(VersionToStrTest, FourUnsignedHalves) {
  EXPECT_EQ(VersionToStr(V(0x00010002, 0x00030004)), "1.2.3.4");
  EXPECT_EQ(VersionToStr(V(0x00030000, 0x0000000C)), "3.0.0.12");
  EXPECT_EQ(VersionToStr(kNone), "65535.65535.65535.65535");
  EXPECT_EQ(VersionToStr(V(0x80008000, 0)), "32768.32768.0.0");
  EXPECT_EQ(VersionToStr(ParseVersion("2,0,1,5")), "2.0.1.5");
}

class GetFileVersionTest : public ::testing::Test {
 protected:
  std::string WritePe(const std::string& name, const platform::VersionInfoContent& content, bool plus = false) {
    const auto path = sandbox.root() / name;
    test::WriteFile(path, test::MakePe(test::TypicalPe(*platform::BuildVersionInfo(content), plus)));
    return path.string();
  }
  static platform::VersionInfoContent Content(std::uint32_t ms, std::uint32_t ls) {
    platform::VersionInfoContent content;
    content.fixed->dwFileVersionMS = ms;
    content.fixed->dwFileVersionLS = ls;
    content.fixed->dwProductVersionMS = 0x00090009;  // never taken for the file version
    return content;
  }
  test::Sandbox sandbox;
};

TEST_F(GetFileVersionTest, FileVersionOfTheFixedInfo) {
  EXPECT_EQ(GetFileVersion(WritePe("a.exe", Content(0x00010002, 0x00000000))), V(0x00010002, 0));
  EXPECT_EQ(GetFileVersion(WritePe("b.exe", Content(0x00010001, 0x00090009), true)), V(0x00010001, 0x00090009));
  // The newversion 1.2 of a control file against a file of version 1.2.0.0.
  EXPECT_EQ(GetFileVersion(WritePe("c.exe", Content(0x00010002, 0))), ParseVersion("1.2"));
}

TEST_F(GetFileVersionTest, StampedExecutableHasTheProjectVersion) {
  EXPECT_EQ(VersionToStr(GetFileVersion(ZEPHRON_STAMPED_SAMPLE)), ZEPHRON_PROJECT_VERSION);
  TZephron engine;
  EXPECT_EQ(engine.GetFileVersion(ZEPHRON_STAMPED_SAMPLE), GetFileVersion(ZEPHRON_STAMPED_SAMPLE));
}

TEST_F(GetFileVersionTest, NoVersionWithoutAValidFixedInfo) {
  auto badSignature = Content(0x00010002, 0);
  badSignature.fixed->dwSignature = 0xFEEF04BC;
  EXPECT_EQ(GetFileVersion(WritePe("signature.exe", badSignature)), kNone);

  auto noFixed = Content(0, 0);
  noFixed.fixed.reset();
  noFixed.stringTables.push_back({0x0409, 0x04B0, {{"FileVersion", "1.0.0.0"}}});
  EXPECT_EQ(GetFileVersion(WritePe("no-fixed.exe", noFixed)), kNone);

  EXPECT_EQ(GetFileVersion((sandbox.root() / "missing.exe").string()), kNone);
  EXPECT_EQ(GetFileVersion("/proc/self/exe"), kNone);
  TZephron engine;
  EXPECT_EQ(engine.GetFileVersion((sandbox.root() / "missing.exe").string()), kNone);
}

}  // namespace
}  // namespace zephron
