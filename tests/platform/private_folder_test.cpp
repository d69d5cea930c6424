// The private download folder: made for this user alone, found again, and
// never a folder that others can enter. Built for Linux and for Windows.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/private_folder.h"
#include "tests/support/sandbox.h"

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;

// Makes path a folder that everybody may enter.
void MakeOpenFolder(const std::string& path) {
#ifdef _WIN32
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  ASSERT_TRUE(::CreateDirectoryW(fs::path(path).wstring().c_str(), &attributes));
  ::LocalFree(descriptor);
#else
  fs::create_directory(path);
  ::chmod(path.c_str(), 0755);
#endif
}

TEST(PrivateFolder, IsMadeForThisUserAloneAndFoundAgain) {
  test::Sandbox sandbox;
  const std::string parent = sandbox.temp().generic_string();
  const std::string folder = MakePrivateFolder(parent, "zp");
  EXPECT_EQ(fs::path(folder).parent_path(), fs::path(parent));
  EXPECT_EQ(fs::path(folder).filename().string().rfind("zp-", 0), 0u) << folder;
  EXPECT_TRUE(IsPrivateFolder(folder));
  EXPECT_EQ(MakePrivateFolder(parent, "zp"), folder);

  test::WriteFile(sandbox.temp() / "file", "x");
  EXPECT_FALSE(IsPrivateFolder((sandbox.temp() / "file").generic_string()));
  EXPECT_FALSE(IsPrivateFolder((sandbox.temp() / "missing").generic_string()));
}

TEST(PrivateFolder, ANameOthersCanEnterIsPassedOverForAFreshOne) {
  test::Sandbox sandbox;
  const std::string parent = sandbox.temp().generic_string();
  // The name this user's folder would get, taken first and left open.
  const std::string usual = MakePrivateFolder(parent, "zq");
  fs::remove(usual);
  MakeOpenFolder(usual);
  ASSERT_FALSE(IsPrivateFolder(usual));

  const std::string fresh = MakePrivateFolder(parent, "zq");
  EXPECT_NE(fresh, usual);
  EXPECT_TRUE(IsPrivateFolder(fresh));
  EXPECT_EQ(fs::path(fresh).parent_path(), fs::path(parent));
}

}  // namespace
}  // namespace zephron::platform
