#include <gtest/gtest.h>

#include "platform/paths.h"

namespace zephron::platform {
namespace {

TEST(Paths, TrailingSeparatorIsAddedOnce) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/opt/app"), "/opt/app/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/opt/app/"), "/opt/app/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\App\\"), "C:\\App\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
}

TEST(Paths, BackslashesAreSeparators) {
  EXPECT_EQ(ToSlashes("sub\\dir\\a.txt"), "sub/dir/a.txt");
  EXPECT_EQ(ExtractFileName("sub\\dir/a.txt"), "a.txt");
  EXPECT_EQ(ExtractFilePath("sub\\dir/a.txt"), "sub\\dir/");
  EXPECT_EQ(ExtractFileName("a.txt"), "a.txt");
  EXPECT_EQ(ExtractFilePath("a.txt"), "");
}

}  // namespace
}  // namespace zephron::platform
