// The registry unit on Windows' own registry: the updater's view of
// HKLM\Software on a 64-bit system, values of every type as the tools show
// them, and import and export through the same .reg format as elsewhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/registry.h"
#include "tests/support/sandbox.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;

class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override { SetIs64BitSystemOverride(true); }
  void TearDown() override {
    DeleteKey(Hive::LocalMachine, "Software\\ZephronTest", RegView::Bits64);
    DeleteKey(Hive::LocalMachine, "Software\\ZephronTest", RegView::Bits32);
    DeleteKey(Hive::CurrentUser, "Software\\ZephronTest");
    SetIs64BitSystemOverride(std::nullopt);
  }
};

TEST_F(Win32Registry, TheUpdatersViewOfMachineSoftwareIsTheThirtyTwoBitOne) {
  auto key = RegistryKey::Create(Hive::LocalMachine, "Software\\ZephronTest\\Product");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->path(), "Software\\WOW6432Node\\ZephronTest\\Product");
  ASSERT_TRUE(key->WriteString("Version", "3.1"));

  EXPECT_EQ(RegistryKey::Open(Hive::LocalMachine, "software\\zephrontest\\PRODUCT", RegView::Bits32)->ReadString("version"),
            "3.1");
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software\\ZephronTest\\Product", RegView::Bits64));
  EXPECT_TRUE(KeyExists(Hive::LocalMachine, "Software\\WOW6432Node\\ZephronTest\\Product", RegView::Bits64));
  // The user's software is the same in both views.
  ASSERT_TRUE(RegistryKey::Create(Hive::CurrentUser, "Software\\ZephronTest")->WriteString("", "default"));
  EXPECT_EQ(RegistryKey::Open(Hive::CurrentUser, "Software\\ZephronTest", RegView::Bits64)->ReadString(""), "default");

  auto readOnly = RegistryKey::Open(Hive::LocalMachine, "Software\\ZephronTest\\Product");
  EXPECT_FALSE(readOnly->WriteString("Version", "9"));
  EXPECT_EQ(readOnly->ReadString("Version"), "3.1");
  EXPECT_EQ(readOnly->ReadString("Missing"), std::nullopt);

  EXPECT_TRUE(DeleteKey(Hive::LocalMachine, "Software\\ZephronTest"));
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, "Software\\ZephronTest\\Product"));
  EXPECT_FALSE(DeleteKey(Hive::LocalMachine, "Software\\ZephronTest"));
}

TEST_F(Win32Registry, ImportedValuesOfEveryTypeAreShownAndExportedAsTheyWereWritten) {
  test::Sandbox sandbox;
  const fs::path file = sandbox.root() / "in.reg";
  test::WriteFile(file,
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\ZephronTest\\A]\r\n"
                  "\"Name\"=\"Vardel \xC3\x9C\"\r\n"
                  "\"Count\"=dword:0000002a\r\n"
                  "\"Blob\"=hex:01,ff\r\n"
                  "\r\n"
                  "[HKEY_CURRENT_USER\\Software\\ZephronTest\\A\\Child]\r\n"
                  "@=\"x\"\r\n");
  ASSERT_EQ(ImportRegFile(file).code, ImportResult::Code::Ok);

  auto key = RegistryKey::Open(Hive::CurrentUser, "Software\\ZephronTest\\A");
  ASSERT_TRUE(key);
  // The system keeps no order of values that a test could rely on.
  std::map<std::string, ValueInfo> values;
  for (const auto& value : key->Values()) values[value.name] = value;
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values["Name"].display, "Vardel \xC3\x9C");
  EXPECT_EQ(values["Count"].type, "REG_DWORD");
  EXPECT_EQ(values["Count"].display, "0x2a");
  EXPECT_EQ(values["Blob"].type, "REG_BINARY");
  EXPECT_EQ(values["Blob"].display, "01FF");
  EXPECT_EQ(key->SubKeyNames(), std::vector<std::string>{"Child"});

  const auto text = ExportKeyText(Hive::CurrentUser, "Software\\ZephronTest\\A");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("[HKEY_CURRENT_USER\\Software\\ZephronTest\\A\\Child]\r\n@=\"x\""), std::string::npos) << *text;
  EXPECT_NE(text->find("\"Count\"=dword:0000002a"), std::string::npos) << *text;

  // An export read back is the same branch again.
  const fs::path exported = sandbox.root() / "out.reg";
  ASSERT_TRUE(ExportKey(Hive::CurrentUser, "Software\\ZephronTest\\A", RegView::Default, exported));
  ASSERT_TRUE(DeleteKey(Hive::CurrentUser, "Software\\ZephronTest\\A"));
  ASSERT_EQ(ImportRegFile(exported).code, ImportResult::Code::Ok);
  EXPECT_EQ(ExportKeyText(Hive::CurrentUser, "Software\\ZephronTest\\A"), text);
}

TEST_F(Win32Registry, AnImportThatNamesAnotherRootOrDoesNotParseChangesNothing) {
  test::Sandbox sandbox;
  const fs::path file = sandbox.root() / "bad.reg";
  test::WriteFile(file,
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\ZephronTest\\B]\r\n\"v\"=\"1\"\r\n\r\n"
                  "[HKEY_CLASSES_ROOT\\ZephronTest]\r\n");
  EXPECT_EQ(ImportRegFile(file).code, ImportResult::Code::InvalidKey);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, "Software\\ZephronTest\\B"));
  EXPECT_EQ(ImportRegFile(sandbox.root() / "missing.reg").code, ImportResult::Code::CannotOpen);
}

}  // namespace
}  // namespace zephron::platform
