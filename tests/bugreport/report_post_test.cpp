// Sending a report to real servers, the same on every system: the ANSI bytes
// of the text, and the status text of an answer that is not success (an
// error, a redirect, which is never followed, or no answer at all).
#include <gtest/gtest.h>

#include <string>

#include "bugreport/report_post.h"
#include "tests/support/servers.h"

namespace zephron::bugreport {
namespace {

TEST(ReportPost, CarriesTheAnsiBytesOfTheText) {
  test::ScriptHttpServer server;
  const TPostResult result = PostBugReport(server.Url("/"), ToAnsi("<c>caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD</c>"));
  ASSERT_TRUE(result.ok) << result.responseText;
  EXPECT_EQ(result.responseText, "200 OK");
  EXPECT_EQ(result.body, "POST /bugreport\napplication/x-www-form-urlencoded\n\n<c>caf\xE9 \x80 ?</c>");
}

TEST(ReportPost, AnAnswerOtherThanSuccessGivesItsStatusText) {
  test::ScriptHttpServer script;
  TPostResult result = PostBugReport(script.Url("/fail500"), "report");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.responseText, "500 Internal Server Error");

  test::NginxServer nginx;
  result = PostBugReport(nginx.Url("/go"), "report");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.responseText, "302 Moved Temporarily") << "the redirect is not followed";

  result = PostBugReport("http://127.0.0.1:" + std::to_string(test::FreePort()), "report");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.responseText, "");
}

}  // namespace
}  // namespace zephron::bugreport
