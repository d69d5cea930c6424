// Version resources on Windows: the program's own, made by windres from the
// numbers the build stamps, read back through the system's version library.
#include <gtest/gtest.h>

#include "platform/special_folders.h"
#include "platform/version_info.h"

namespace zephron::platform {
namespace {

TEST(Win32VersionInfo, TheStampedResourceIsReadThroughTheVersionLibrary) {
  const std::string self = ProgramFile();
  ASSERT_GT(GetFileVersionInfoSize(self), 0u);
  const auto block = GetFileVersionInfo(self);
  ASSERT_TRUE(block);
  const auto root = VerQueryValue(*block, "\\");
  ASSERT_TRUE(root);
  const auto fixed = VerValueFixedFileInfo(*root);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwSignature, kFixedFileInfoSignature);
  EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 3u);
  EXPECT_EQ(fixed->dwFileVersionLS, (4u << 16) | 5u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  const auto description = VerQueryValue(*block, "\\StringFileInfo\\040904B0\\FileDescription");
  ASSERT_TRUE(description);
  EXPECT_EQ(VerValueText(*description), "Version sample");
  const auto company = VerQueryValue(*block, "\\StringFileInfo\\040904b0\\CompanyName");
  ASSERT_TRUE(company);
  EXPECT_EQ(VerValueText(*company), "Corvexis");
  const auto translation = VerQueryValue(*block, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(VerValueDwords(*translation), std::vector<std::uint32_t>{0x04B00409u});

  EXPECT_EQ(GetFileVersionInfoSize(SystemFolder() + "/no-such-file.exe"), 0u);
  EXPECT_FALSE(GetFileVersionInfo(SystemFolder() + "/no-such-file.exe"));
}

}  // namespace
}  // namespace zephron::platform
