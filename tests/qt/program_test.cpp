#include <gtest/gtest.h>

#include "app/instance.h"
#include "tests/support/sandbox.h"

namespace zephron::test {
namespace {

TEST(ZephronProgram, SecondStartEndsSilentlyWhileTheGlobalMutexIsHeld) {
  Sandbox sandbox;
  sandbox.SetEnv("ZEPHRON_MUTEX_DIR", (sandbox.root() / "mutex").string());
  sandbox.SetEnv("QT_QPA_PLATFORM", "offscreen");
  const TInstanceClaim running = ClaimInstanceMutex(kInstanceMutexName);
  ASSERT_EQ(running.bits & 1, 1) << "the sandbox starts without an updater";
  const ProcessResult second = RunProgram({(BuildDir() / "app/window/zephron").string()});
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.output, "") << "no message at all";
}

}  // namespace
}  // namespace zephron::test
