#include <gtest/gtest.h>

#include "app/catalogue.h"
#include "app/product_display.h"
#include "app/registry_read.h"
#include "platform/registry.h"
#include "tests/support/sandbox.h"

namespace zephron {
namespace {
using platform::Hive;
using platform::RegistryKey;
using platform::RegView;

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override { UseSystem(true); }
  void TearDown() override {
    platform::SetIs64BitSystemOverride(std::nullopt);
    InitSystem64Bit();
  }
  static void UseSystem(bool is64) {
    platform::SetIs64BitSystemOverride(is64);
    InitSystem64Bit();
  }
  static void Install(const std::string& product, const std::string& path, RegView view = RegView::Default) {
    auto key = RegistryKey::Create(Hive::LocalMachine, "Software\\Corvexis\\" + product, view);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("InstallPath", path));
  }
  test::Sandbox sandbox;
};

TEST_F(Catalogue, RowsAreInPassOrder) {
  ASSERT_EQ(kCatalogue.size(), 5u);
  EXPECT_EQ(kCatalogue[0].name, "TesselServer");
  EXPECT_EQ(kCatalogue[1].panelKey, "QuillonOlvaneServer");
  EXPECT_EQ(kCatalogue[2].executable, "Quillon.exe");
  EXPECT_EQ(kCatalogue[3].mutex, "");
  EXPECT_EQ(kCatalogue[4].updateFolder, "zephron");
}

TEST_F(Catalogue, InstallPathOnlyInThe64BitViewIsFoundOnA64BitSystem) {
  Install("Tendwell", "/opt/tendwell", RegView::Bits64);
  EXPECT_EQ(GetInstallPath("Tendwell"), "/opt/tendwell");
  EXPECT_EQ(ReadRegistryString(Hive::LocalMachine, "Software\\Corvexis\\Tendwell", "InstallPath",
                               TRegistryReadMode::DefaultView),
            "");
}

TEST_F(Catalogue, DefaultViewWinsOverThe64BitView) {
  Install("Tendwell", "/opt/tendwell32");
  Install("Tendwell", "/opt/tendwell64", RegView::Bits64);
  EXPECT_EQ(GetInstallPath("Tendwell"), "/opt/tendwell32");
  EXPECT_EQ(ReadRegistryString(Hive::LocalMachine, "Software\\Corvexis\\Tendwell", "InstallPath",
                               TRegistryReadMode::View64),
            "/opt/tendwell64");
}

TEST_F(Catalogue, A32BitSystemReadsOnlyTheDefaultView) {
  UseSystem(false);
  Install("Tendwell", "/opt/tendwell");  // no redirection on a 32-bit system
  EXPECT_EQ(GetInstallPath("Tendwell"), "/opt/tendwell");
  EXPECT_EQ(ReadRegistryString(Hive::LocalMachine, "Software\\Corvexis\\Tendwell", "InstallPath",
                               TRegistryReadMode::View64),
            "");
}

TEST_F(Catalogue, KeyPathsWithStraySeparatorsAreRead) {
  Install("Zephron", "/opt/zephron");
  EXPECT_EQ(ReadRegistryString(Hive::LocalMachine, "\\Software\\\\Corvexis\\Zephron\\", "InstallPath",
                               TRegistryReadMode::BothViews),
            "/opt/zephron");
  EXPECT_EQ(ReadRegistryString(Hive::LocalMachine, "Software\\Corvexis\\Missing", "InstallPath",
                               TRegistryReadMode::BothViews),
            "");
}

TEST_F(Catalogue, EmptyInstallPathMeansNotInstalled) {
  Install("TesselServer", "");
  const TProductDisplay display = DescribeProduct(kCatalogue[0], false, {}, "");
  EXPECT_EQ(display.label, "Tessel Server: not installed");
  EXPECT_EQ(display.firstColor, clSilver);
  EXPECT_EQ(display.secondColor, clGray);
}

TEST_F(Catalogue, DisplayFollowsTheCheckResults) {
  Install("Vardel Quillon", sandbox.root().string() + "/quillon/");
  const TProduct& quillon = kCatalogue[2];
  TNameValueList newVersions;

  TProductDisplay display = DescribeProduct(quillon, false, newVersions, "");
  EXPECT_EQ(display.label, "Vardel Quillon: installed (not found)");
  EXPECT_EQ(display.secondColor, clAqua);

  display = DescribeProduct(quillon, true, newVersions, "");
  EXPECT_EQ(display.label, "Vardel Quillon: installed (not found), no new version available");
  EXPECT_EQ(display.secondColor, clLime);

  newVersions.Add("Vardel Quillon", "2.1.0.7");
  display = DescribeProduct(quillon, true, newVersions, "");
  EXPECT_EQ(display.label, "Vardel Quillon: installed (not found), version 2.1.0.7 available");
  EXPECT_EQ(display.secondColor, clYellow);

  display = DescribeProduct(quillon, true, newVersions, "Vardel Quillon");
  EXPECT_EQ(display.label, "Vardel Quillon: installed (not found) updating to 2.1.0.7");
  EXPECT_EQ(display.firstColor, clWhite);
  EXPECT_EQ(display.secondColor, clOrange);
}

TEST(NameValueList, NamesMatchWithoutRegardToCase) {
  TNameValueList list;
  list.Add("Tendwell", "1.2");
  EXPECT_EQ(list.Value("TENDWELL").value_or(""), "1.2");
  list.Remove("tendwell");
  EXPECT_TRUE(list.Empty());
}

}  // namespace
}  // namespace zephron
