// The redirector client: what it reads of an answer and how long it may take.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/servers.h"
#include "transfer/http_client.h"

namespace zephron {
namespace {

class HttpClient : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      script_ = std::make_unique<test::ScriptHttpServer>();
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void TearDownTestSuite() { script_.reset(); }
  void SetUp() override {
    if (!script_) FAIL() << "HTTP helper is not running: " << error_;
  }

  static inline std::unique_ptr<test::ScriptHttpServer> script_;
  static inline std::string error_;
  TIdHTTP client;
};

TEST_F(HttpClient, LargeBodyIsReadNoFurtherThanItsFirstByte) {
  const THttpGetResult answer = client.Get(script_->Url("/endless"));
  EXPECT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "z");
}

TEST_F(HttpClient, SilentServerEndsTheRequestAtItsTimeLimit) {
  client.TimeLimitMs = 300;
  const THttpGetResult answer = client.Get(script_->Url("/silent"));
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.status, 0);
  EXPECT_FALSE(answer.error.empty());
}

}  // namespace
}  // namespace zephron
