// The bug report window on the offscreen platform: the countdown, the mouse,
// the permission boxes and their memory within a run, the request document,
// and sending it to a real HTTP server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <filesystem>
#include <functional>
#include <string>

#include "bugreport/qt/form_exception.h"
#include "bugreport/report_post.h"
#include "bugreport/report_store.h"
#include "platform/registry.h"
#include "tests/bugreport/sample_report.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"
#include "ui/qt/dialog_runner.h"
#include "xml/xml_document.h"

namespace zephron::bugreport::qt {
namespace {

namespace fs = std::filesystem;

TExceptionReportPtr Report(bool withScreenshot) { return test::SampleReport(withScreenshot); }

void MoveMouseOver(QWidget* widget) {
  QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

class FormExceptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RememberedAllowReport() = false;
    RememberedAllowScreenshot() = false;
  }
  void TearDown() override { ui::qt::OnDialogShown() = nullptr; }

  // A window for the report as ShowReportDialog prepares it, not shown.
  void Prepare(TformException& form, const TExceptionReportPtr& report, const std::string& replacement = {}) {
    form.exceptIntf = report;
    form.ReplacementReport = replacement;
    form.ShowScreenshot(replacement.empty() ? report->GetScreenShot() : nullptr);
    form.UpdateScreenshotOption();
  }

  // The texts of the message boxes the window shows; each is confirmed.
  void CollectMessages() {
    ui::qt::OnDialogShown() = [this](QDialog& dialog) {
      auto* box = qobject_cast<QMessageBox*>(&dialog);
      ASSERT_NE(box, nullptr);
      messages.push_back(box->text().toStdString());
      box->accept();
    };
  }

  test::Sandbox sandbox;
  std::vector<std::string> messages;
};

TEST_F(FormExceptionTest, CountdownClicksContinueAtTheTwentiethTickAndSendsNothingByDefault) {
  bool handled = false;
  int shown = 0;
  ui::qt::OnDialogShown() = [&shown](QDialog& dialog) {
    auto& form = dynamic_cast<TformException&>(dialog);
    ++shown;
    EXPECT_EQ(form.windowTitle(), "Bug Report");
    EXPECT_EQ(form.eContents->toPlainText(), "Exception std::runtime_error: Boom");
    EXPECT_TRUE(form.eContents->font().fixedPitch());
    EXPECT_TRUE(form.labResuming->text().isEmpty());
    EXPECT_FALSE(form.gbScreenshot->isVisible());
    EXPECT_FALSE(form.cbAllowScreenshot->isEnabled());
    EXPECT_TRUE(form.timResume.isActive());
    EXPECT_GE(form.minimumWidth(), 728);
    EXPECT_GE(form.minimumHeight(), 476);
    form.timResumeTimer();
    EXPECT_EQ(form.labResuming->text(), "Resuming in 20 seconds");
    for (int tick = 2; tick <= 19; ++tick) form.timResumeTimer();
    EXPECT_EQ(form.labResuming->text(), "Resuming in 2 seconds");
    EXPECT_TRUE(form.isVisible());
    form.timResumeTimer();
    EXPECT_EQ(form.labResuming->text(), "Resuming in 1 seconds");
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(form.sbarPanel0->text().isEmpty()) << "nothing is sent without permission";
  };
  ShowReportDialog(Report(false), handled, "");
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(handled);
  // The report was saved as the capture asks.
  ASSERT_TRUE(fs::is_directory(BugReportFolder()));
  const auto saved = fs::directory_iterator(BugReportFolder())->path();
  EXPECT_EQ(test::ReadFile(saved), "Exception std::runtime_error: Boom");
}

TEST_F(FormExceptionTest, MouseOverTheReportStopsTheCountdownButNotOverShutdown) {
  TformException form;
  Prepare(form, Report(true));
  form.show();
  form.timResumeTimer();
  MoveMouseOver(form.bShutdown);
  EXPECT_TRUE(form.timResume.isActive());
  EXPECT_TRUE(form.labResuming->isVisible());
  MoveMouseOver(form.eContents->viewport());
  EXPECT_FALSE(form.timResume.isActive());
  EXPECT_FALSE(form.labResuming->isVisible());
}

TEST_F(FormExceptionTest, ScreenshotBoxFollowsTheReportBox) {
  TformException form;
  Prepare(form, Report(true));
  EXPECT_FALSE(form.cbAllowScreenshot->isEnabled());
  form.cbAllowReport->click();
  EXPECT_TRUE(form.cbAllowScreenshot->isEnabled());
  EXPECT_FALSE(form.cbAllowScreenshot->isChecked());
  form.cbAllowScreenshot->click();
  form.cbAllowReport->click();
  EXPECT_FALSE(form.cbAllowScreenshot->isEnabled());
  EXPECT_FALSE(form.cbAllowScreenshot->isChecked());
  form.cbAllowReport->click();
  EXPECT_TRUE(form.cbAllowScreenshot->isEnabled());
  EXPECT_FALSE(form.cbAllowScreenshot->isChecked());

  // A replacement text has no screenshot to send.
  TformException replaced;
  Prepare(replaced, Report(true), "Replacement");
  replaced.cbAllowReport->click();
  EXPECT_FALSE(replaced.cbAllowScreenshot->isEnabled());
}

TEST_F(FormExceptionTest, ChoicesOfOneReportStartTheNextAndTheReportReachesTheRegistryServer) {
  test::ScriptHttpServer server;
  auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\Zephron");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("BugReportURL", server.Url("")));
  std::vector<std::pair<bool, bool>> initial;
  ui::qt::OnDialogShown() = [&](QDialog& dialog) {
    auto* form = qobject_cast<TformException*>(&dialog);
    if (form == nullptr) {  // a delivery failure would show here
      messages.push_back(static_cast<QMessageBox&>(dialog).text().toStdString());
      dialog.accept();
      return;
    }
    initial.emplace_back(form->cbAllowReport->isChecked(), form->cbAllowScreenshot->isChecked());
    if (!form->cbAllowReport->isChecked()) {
      form->cbAllowReport->click();
      form->cbAllowScreenshot->click();
    }
    form->bContinue->click();
    EXPECT_EQ(form->sbarPanel0->text(), "Sending bug report");
  };
  bool handled = false;
  ShowReportDialog(Report(true), handled, "");
  ShowReportDialog(Report(true), handled, "");
  EXPECT_EQ(initial, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}}));
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_TRUE(RememberedAllowReport());
  EXPECT_TRUE(RememberedAllowScreenshot());
}

TEST_F(FormExceptionTest, RequestDocumentWithAndWithoutScreenshot) {
  TformException form;
  Prepare(form, Report(true));
  form.eUserComment->setPlainText("it broke\nafter lunch");
  form.cbAllowReport->click();
  form.cbAllowScreenshot->click();
  EXPECT_EQ(form.BuildReportRequest()->AsString(),
            "<?xml version='1.0'?>\r\n"
            "<Request>\r\n"
            "   <Request>\r\n"
            "      <Type>br</Type>\r\n"
            "      <Config>\r\n"
            "         <content>Exception std::runtime_error: Boom</content>\r\n"
            "         <screenshot>iVBORw==</screenshot>\r\n"
            "         <executable>/opt/zephron/zephron</executable>\r\n"
            "         <version>1.0.15.33</version>\r\n"
            "         <computer>desk7</computer>\r\n"
            "         <username>anna</username>\r\n"
            "         <comment>it broke\r\nafter lunch</comment>\r\n"
            "      </Config>\r\n"
            "   </Request>\r\n"
            "</Request>\r\n");
  for (const auto& entry : fs::directory_iterator(sandbox.temp())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("screenshot")) << "left behind: " << entry.path();
  }

  // Without the screenshot box, and with an empty comment: neither element.
  form.cbAllowScreenshot->click();
  form.eUserComment->clear();
  EXPECT_EQ(form.BuildReportRequest()->AsString(),
            "<?xml version='1.0'?>\r\n"
            "<Request>\r\n"
            "   <Request>\r\n"
            "      <Type>br</Type>\r\n"
            "      <Config>\r\n"
            "         <content>Exception std::runtime_error: Boom</content>\r\n"
            "         <executable>/opt/zephron/zephron</executable>\r\n"
            "         <version>1.0.15.33</version>\r\n"
            "         <computer>desk7</computer>\r\n"
            "         <username>anna</username>\r\n"
            "      </Config>\r\n"
            "   </Request>\r\n"
            "</Request>\r\n");
}

TEST_F(FormExceptionTest, DeliveryFailureShowsTheStatusTextAndTheWindowStillCloses) {
  test::ScriptHttpServer server;
  CollectMessages();
  {
    TformException form;
    Prepare(form, Report(false));
    form.cbAllowReport->click();
    form.ServerURL = server.Url("/fail500");
    form.bContinue->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.bContinue->isEnabled());
  }
  {
    TformException form;
    Prepare(form, Report(false));
    form.cbAllowReport->click();
    form.ServerURL = "http://127.0.0.1:" + std::to_string(test::FreePort());
    form.bContinue->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"Bug report delivery failed\n\n500 Internal Server Error",
                                                "Bug report delivery failed\n\n"}));
}

}  // namespace
}  // namespace zephron::bugreport::qt
