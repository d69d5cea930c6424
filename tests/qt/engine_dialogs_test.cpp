// The engine's login prompt on the Qt login form, against nginx's protected area.
#include <filesystem>

#include "engine/zephron.h"
#include "tests/qt/qt_fixture.h"
#include "tests/support/servers.h"
#include "ui/qt/login_form.h"

namespace zephron::test {
namespace {
namespace fs = std::filesystem;

class QtEngineDialogs : public QtWindowFixture {
 protected:
  void SetUp() override {
    QtWindowFixture::SetUp();
    target = sandbox.root() / "target";
    fs::create_directories(target);
    WriteFile(nginx.DocRoot() / "private/file.bin", "protected bytes");
    engine.SetDialogs(&dialogs);
    engine.UpdateType = httpUpdate;
    engine.URL = nginx.Url("/update.inf");
    engine.UpdateUpdate = zpuSilent;
    engine.Authenticate = zaAuto;
  }
  void TearDown() override {
    if (engine.InProgress()) engine.StopConnection();
    QtWindowFixture::TearDown();
  }
  bool Get(const std::string& path) {
    EXPECT_EQ(engine.StartConnection(), 0);
    return engine.URLGetFile(engine.HintConnect(), nginx.Url(path), false, target.string() + "/");
  }
  static std::function<void(QDialog&)> Login(const char* user, const char* password) {
    return [user, password](QDialog& dialog) {
      auto* login = dynamic_cast<ui::qt::TLoginForm*>(&dialog);
      ASSERT_NE(login, nullptr);
      login->Edit1->setText(QString::fromLatin1(user));
      login->Edit2->setText(QString::fromLatin1(password));
      login->Button1->click();
    };
  }

  NginxServer nginx;
  TZephron engine;
  fs::path target;
};

TEST_F(QtEngineDialogs, LoginFormAnswersTheServersChallenge) {
  std::string caption;
  AnswerDialogs({[&](QDialog& dialog) {
                   caption = dialog.windowTitle().toStdString();
                   Login("wrong", "guess")(dialog);
                 },
                 Login(NginxServer::kUser, NginxServer::kPassword)});
  ASSERT_TRUE(Get("/private/file.bin"));
  EXPECT_EQ(ReadFile(target / "file.bin"), "protected bytes");
  EXPECT_EQ(caption, "Connect to 127.0.0.1:" + std::to_string(nginx.port()));
  EXPECT_EQ(engine.UserID, NginxServer::kUser);
  EXPECT_EQ(ui::qt::OpenDialogs(), 0);
}

TEST_F(QtEngineDialogs, CancelledLoginFormLeavesNoFile) {
  AnswerDialogs({[](QDialog& dialog) { static_cast<ui::qt::TLoginForm&>(dialog).Button2->click(); }});
  EXPECT_FALSE(Get("/private/file.bin"));
  EXPECT_FALSE(fs::exists(target / "file.bin"));
}

}  // namespace
}  // namespace zephron::test
