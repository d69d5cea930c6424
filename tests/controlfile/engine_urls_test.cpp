// The engine's location members: the file-name event and the pass-through helpers.
#include <gtest/gtest.h>

#include "engine/zephron.h"

namespace zephron {
namespace {

TEST(EngineUrls, FileNameWithoutHandlerIsTheLastElement) {
  TZephron engine;
  EXPECT_EQ(engine.URLtoFile("http://host/dir/update.inf"), "update.inf");
  EXPECT_EQ(engine.URLtoFile("ftp://host/dir/"), "");
}

TEST(EngineUrls, HandlerSeesTheUrlAsPassedAndDecidesTheName) {
  TZephron engine;
  std::vector<std::pair<std::string, std::string>> seen;
  engine.OnFileNameFromURL = [&](TZephron& sender, const std::string& url, std::string& name) {
    EXPECT_EQ(&sender, &engine);
    seen.emplace_back(url, name);
    name = "fixed.inf";
  };
  EXPECT_EQ(engine.URLtoFile("http://host/get.php?file=a.inf"), "fixed.inf");
  EXPECT_EQ(engine.URLtoFile("x"), "fixed.inf");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::pair<std::string, std::string>{"http://host/get.php?file=a.inf", "file=a.inf"}));
}

TEST(EngineUrls, DomainAndProxyUrlFollowTheTextRules) {
  TZephron engine;
  EXPECT_EQ(engine.URLToDomain("ftp://host:21/a"), "host:21");
  EXPECT_EQ(engine.MakeProxyUrl("HTTP://Host/a", "u", ""), "http://u:@Host/a");
  EXPECT_EQ(engine.MakeProxyUrl("https://host/a", "u", "p"), "https://host/a");
}

}  // namespace
}  // namespace zephron
