#include <QImage>
#include <QLineEdit>
#include <QProgressBar>

#include "tests/qt/qt_fixture.h"
#include "tests/support/servers.h"
#include "ui/qt/gradient_panel.h"
#include "ui/qt/login_form.h"
#include "ui/qt/progress_form.h"

namespace zephron::test {
namespace {

using ui::qt::GradientPanel;
using ui::qt::QtMainWindow;

class QtMainWindowTest : public QtWindowFixture {
 protected:
  GradientPanel* PanelNamed(const char* name) const {
    auto* panel = window->findChild<GradientPanel*>(QString::fromLatin1(name));
    EXPECT_NE(panel, nullptr) << name;
    return panel;
  }
  std::string LabelText(const char* key) const {
    auto* label = window->findChild<QLabel*>(QStringLiteral("lab") + QString::fromLatin1(key));
    EXPECT_NE(label, nullptr) << key;
    return label ? label->text().toStdString() : std::string();
  }
  std::string StatusText() const { return window->StatusBar()->text().toStdString(); }
};

TEST_F(QtMainWindowTest, StartsWithTheFivePanelsInDisplayOrderAndInstallationStates) {
  Install("TesselServer", "TesselServer.exe", "old");
  MakeQtForm();
  EXPECT_EQ(window->windowTitle().toStdString().rfind("Corvexis Zephron ", 0), 0u);
  EXPECT_EQ(window->size(), QSize(563, 298));
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";

  const struct {
    const char* key;
    int top;
    int height;
  } places[] = {{"VardelQuillon", 23, 26},
                {"TesselServer", 56, 25},
                {"QuillonOlvaneServer", 88, 25},
                {"QuillonTendwell", 120, 25},
                {"QuillonZephron", 152, 25}};
  for (const auto& place : places) {
    GradientPanel* panel = PanelNamed((std::string("pan") + place.key).c_str());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(31, place.top, 500, place.height)) << place.key;
    EXPECT_EQ(panel->BorderWidth(), 3);
  }
  EXPECT_EQ(LabelText("TesselServer"), "Tessel Server: installed (not found)");
  EXPECT_EQ(PanelNamed("panTesselServer")->FirstColor(), clWhite);
  EXPECT_EQ(PanelNamed("panTesselServer")->SecondColor(), clAqua);
  EXPECT_EQ(LabelText("VardelQuillon"), "Vardel Quillon: not installed");
  EXPECT_EQ(PanelNamed("panVardelQuillon")->FirstColor(), clSilver);
  EXPECT_EQ(PanelNamed("panVardelQuillon")->SecondColor(), clGray);
  EXPECT_EQ(LabelText("QuillonZephron"), "Zephron: not installed");

  EXPECT_EQ(window->CheckButton()->text(), "Check for updates");
  EXPECT_TRUE(window->CheckButton()->isEnabled());
  EXPECT_EQ(window->GetUpdatesButton()->text(), "Get updates");
  EXPECT_FALSE(window->GetUpdatesButton()->isEnabled());
  EXPECT_EQ(window->CloseButton()->geometry(), QRect(440, 223, 89, 28));
  EXPECT_FALSE(window->ProgressVisible());
  EXPECT_EQ(window->ProgressBar()->geometry(), QRect(0, 298 - 16, 563, 16));
  EXPECT_EQ(window->ProgressBar()->maximum(), 100);
}

TEST_F(QtMainWindowTest, PanelPaintsItsGradientFromFirstToSecondColour) {
  Install("TesselServer", "TesselServer.exe", "old");
  MakeQtForm();
  GradientPanel* panel = PanelNamed("panVardelQuillon");
  ASSERT_NE(panel, nullptr);
  const QImage image = panel->grab().toImage();
  const int y = image.height() / 2;
  // Just inside the bevel on the left, and on the right.
  const QColor left = image.pixelColor(4, y);
  const QColor right = image.pixelColor(image.width() - 5, y);
  EXPECT_NEAR(left.red(), 192, 3);  // silver
  EXPECT_NEAR(right.red(), 128, 3);  // grey
  EXPECT_EQ(image.pixelColor(0, 0), QColor(128, 128, 128)) << "lowered bevel";
}

class QtCheckPass : public QtMainWindowTest {
 protected:
  void PublishSuite() {
    Install("TesselServer", "TesselServer.exe", "old");
    Install("Zephron", "Zephron.exe", "zephron");
    Publish("tesselserver", "[update]\nlocalversion=TesselServer.exe\nnewsize=1234\nnewversion=2.0.0.0\n");
    Publish("zephron", "[update]\nlocalversion=Zephron.exe\nnewsize=7\n");
  }
};

TEST_F(QtCheckPass, ClickOnCheckShowsNewVersionsAndEnablesGetUpdates) {
  PublishSuite();
  MakeQtForm();
  // What the screen shows while the pass runs, seen from inside it.
  bool checkEnabledDuringPass = true;
  bool busyDuringPass = false;
  std::string statusDuringPass;
  const std::string base = updates.string();
  form->UpdateLocationSource = [&, base](const std::string&) {
    checkEnabledDuringPass = window->CheckButton()->isEnabled() || window->GetUpdatesButton()->isEnabled();
    busyDuringPass = window->IsBusyCursor();
    statusDuringPass = StatusText();
    return TUpdateLocation{base, "", ""};
  };
  window->CheckButton()->click();

  EXPECT_FALSE(checkEnabledDuringPass);
  EXPECT_TRUE(busyDuringPass);
  EXPECT_EQ(statusDuringPass, "Checking for updates");
  EXPECT_EQ(StatusText(), "New version(s) found");
  EXPECT_TRUE(window->CheckButton()->isEnabled());
  EXPECT_TRUE(window->GetUpdatesButton()->isEnabled());
  EXPECT_FALSE(window->IsBusyCursor());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "every busy cursor restored";
  EXPECT_EQ(LabelText("TesselServer"), "Tessel Server: installed (not found), version 2.0.0.0 available");
  EXPECT_EQ(PanelNamed("panTesselServer")->SecondColor(), clYellow);
  EXPECT_EQ(LabelText("QuillonZephron"), "Zephron: installed (not found), no new version available");
  EXPECT_EQ(PanelNamed("panQuillonZephron")->SecondColor(), clLime);
  EXPECT_EQ(PanelNamed("panQuillonOlvaneServer")->SecondColor(), clGray);
  EXPECT_EQ(ui::qt::OpenDialogs(), 0);
}

TEST_F(QtCheckPass, NginxLocationWithNothingNewLeavesGetUpdatesDisabled) {
  NginxServer nginx;
  // A base URL with a body of its own is used as it is.
  WriteFile(nginx.DocRoot() / "updates/index.html", "<html>updates</html>");
  Install("Tendwell", "Tendwell.exe", "12345678");
  WriteFile(nginx.DocRoot() / "updates/tendwell/tendwell.INF", "[update]\nlocalversion=Tendwell.exe\nnewsize=8\n");
  MakeQtForm(nginx.Url("/updates/"));
  window->CheckButton()->click();
  EXPECT_EQ(StatusText(), "No new versions found, the installed components are the latest versions available.");
  EXPECT_FALSE(window->GetUpdatesButton()->isEnabled());
  EXPECT_EQ(LabelText("QuillonTendwell"), "Tendwell: installed (not found), no new version available");
  EXPECT_EQ(PanelNamed("panQuillonTendwell")->FirstColor(), clWhite);
  EXPECT_EQ(PanelNamed("panQuillonTendwell")->SecondColor(), clLime);
}

TEST_F(QtCheckPass, NginxLocationWithALargerReleaseShowsYellow) {
  NginxServer nginx;
  // A base URL with a body of its own is used as it is.
  WriteFile(nginx.DocRoot() / "updates/index.html", "<html>updates</html>");
  Install("Tendwell", "Tendwell.exe", "1234");
  WriteFile(nginx.DocRoot() / "updates/tendwell/tendwell.INF",
            "[update]\nlocalversion=Tendwell.exe\nnewsize=8\nnewversion=3.1\n");
  MakeQtForm(nginx.Url("/updates/"));
  window->CheckButton()->click();
  EXPECT_EQ(StatusText(), "New version(s) found");
  EXPECT_TRUE(window->GetUpdatesButton()->isEnabled());
  EXPECT_EQ(LabelText("QuillonTendwell"), "Tendwell: installed (not found), version 3.1 available");
  EXPECT_EQ(PanelNamed("panQuillonTendwell")->SecondColor(), clYellow);
}

TEST_F(QtMainWindowTest, FileProgressMovesTheBarAndDownloadHidesIt) {
  MakeQtForm();
  form->ZephronFileProgress(form->Zephron, "a.cab", 100, 0);
  EXPECT_FALSE(window->ProgressVisible()) << "size 0 changes nothing";
  form->ZephronFileProgress(form->Zephron, "a.cab", 512, 2048);
  EXPECT_TRUE(window->ProgressVisible());
  EXPECT_EQ(window->ProgressBar()->value(), 25);
  form->ZephronFileProgress(form->Zephron, "a.cab", 2048, 2048);
  EXPECT_EQ(window->ProgressBar()->value(), 100);
  form->ZephronFileDownloaded(form->Zephron, "a.cab");
  EXPECT_FALSE(window->ProgressVisible());
  EXPECT_EQ(window->ProgressBar()->value(), 0);
}

TEST_F(QtMainWindowTest, MessageBoxesCarryTheTitleAndCountAsOpenWhileShown) {
  MakeQtForm();
  std::string title;
  std::string text;
  int openWhileShown = 0;
  AnswerDialogs({[&](QDialog& dialog) {
                   title = dialog.windowTitle().toStdString();
                   text = qobject_cast<QMessageBox*>(&dialog)->text().toStdString();
                   openWhileShown = ui::qt::OpenDialogs();
                   dialog.accept();
                 },
                 Press(QMessageBox::Yes), Press(QMessageBox::No), Press(QMessageBox::Retry),
                 Press(QMessageBox::Cancel)});
  window->ShowInfo("first\rsecond");
  EXPECT_EQ(title, "Corvexis Zephron");
  EXPECT_EQ(text, "first\nsecond");
  EXPECT_EQ(openWhileShown, 1);
  EXPECT_EQ(ui::qt::OpenDialogs(), 0);
  EXPECT_TRUE(window->AskYesNo("Update now?"));
  EXPECT_FALSE(window->AskYesNo("Update now?"));
  EXPECT_TRUE(window->WarnRetryCancel("Application Zephron seems to be running."));
  EXPECT_FALSE(window->WarnRetryCancel("Application Zephron seems to be running."));
  EXPECT_FALSE(window->AskYesNo("closed without an answer")) << "a rejected question is No";
}

TEST_F(QtMainWindowTest, ExceptionFromAButtonHandlerIsShownAndTheWindowStaysUsable) {
  MakeQtForm();
  window->onCheck = [this] {
    form->ShowBusyCursor();
    window->SetCheckEnabled(false);
    throw std::runtime_error("the log path broke");
  };
  std::string shown;
  AnswerDialogs({[&](QDialog& dialog) {
    shown = qobject_cast<QMessageBox*>(&dialog)->text().toStdString();
    dialog.accept();
  }});
  window->CheckButton()->click();
  EXPECT_EQ(shown, "the log path broke");
  EXPECT_EQ(StatusText(), "the log path broke");
  EXPECT_TRUE(window->CheckButton()->isEnabled());
  EXPECT_FALSE(window->IsBusyCursor());

  window->onCheck = [this] { form->bCheckClick(); };
  window->CheckButton()->click();
  EXPECT_FALSE(window->IsBusyCursor()) << "the driver's cursor count starts afresh";
  EXPECT_TRUE(window->CheckButton()->isEnabled());
}

TEST_F(QtMainWindowTest, CloseButtonCallsTheDriversHandler) {
  MakeQtForm();
  int closes = 0;
  window->onClose = [&] { ++closes; };
  window->CloseButton()->click();
  EXPECT_EQ(closes, 1);
}

class QtDialogsTest : public QtWindowFixture {};

TEST_F(QtDialogsTest, MessageBoxMapsButtonsAndCaption) {
  std::string caption;
  AnswerDialogs({[&](QDialog& dialog) {
                   caption = dialog.windowTitle().toStdString();
                   dialog.accept();
                 },
                 Press(QMessageBox::Yes), Press(QMessageBox::Retry)});
  EXPECT_EQ(dialogs.MessageBox("text", ui::MessageKind::Error, ui::MessageButtons::Ok, "Engine"), ui::DialogResult::Ok);
  EXPECT_EQ(caption, "Engine");
  EXPECT_EQ(dialogs.MessageBox("?", ui::MessageKind::Confirmation, ui::MessageButtons::YesNo), ui::DialogResult::Yes);
  EXPECT_EQ(dialogs.MessageBox("!", ui::MessageKind::Warning, ui::MessageButtons::RetryCancel),
            ui::DialogResult::Retry);
  EXPECT_EQ(dialogs.MessageBox("!", ui::MessageKind::Warning, ui::MessageButtons::RetryCancel),
            ui::DialogResult::Cancel)
      << "rejected: the default answer";
}

TEST_F(QtDialogsTest, LoginFormIsLaidOutAsTheFixedForm) {
  ui::qt::TLoginForm login;
  EXPECT_EQ(login.size(), QSize(320, 189));
  EXPECT_EQ(login.Image1->geometry(), QRect(0, 0, 320, 60));
  EXPECT_FALSE(login.Image1->pixmap().isNull());
  EXPECT_EQ(login.Label1->text(), "&User name: ");
  EXPECT_EQ(login.Label1->buddy(), login.Edit1);
  EXPECT_EQ(login.Label2->text(), "&Password:");
  EXPECT_EQ(login.Label2->buddy(), login.Edit2);
  EXPECT_EQ(login.Edit1->geometry(), QRect(104, 80, 193, 21));
  EXPECT_EQ(login.Edit2->geometry(), QRect(104, 112, 193, 21));
  EXPECT_EQ(login.Edit2->echoMode(), QLineEdit::Password);
  EXPECT_EQ(login.Button1->geometry(), QRect(144, 152, 75, 25));
  EXPECT_TRUE(login.Button1->isDefault());
  EXPECT_EQ(login.Button2->geometry(), QRect(224, 152, 75, 25));
  EXPECT_FALSE(login.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(login.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(QtDialogsTest, LoginOkReturnsTheEnteredValuesAndCancelKeepsThem) {
  std::string caption;
  bool fieldsStartedEmpty = false;
  AnswerDialogs({[&](QDialog& dialog) {
                   auto& login = static_cast<ui::qt::TLoginForm&>(dialog);
                   caption = dialog.windowTitle().toStdString();
                   fieldsStartedEmpty = login.Edit1->text().isEmpty() && login.Edit2->text().isEmpty();
                   login.Edit1->setText(QString::fromUtf8("üser"));
                   login.Edit2->setText("s3cret");
                   login.Button1->click();
                 },
                 [](QDialog& dialog) {
                   auto& login = static_cast<ui::qt::TLoginForm&>(dialog);
                   login.Edit1->setText("typed");
                   login.Button2->click();
                 },
                 [](QDialog& dialog) { dialog.reject(); }});
  std::string user = "old";
  std::string password = "old";
  EXPECT_TRUE(dialogs.LoginDialog("Login to 127.0.0.1", user, password));
  EXPECT_EQ(caption, "Login to 127.0.0.1");
  EXPECT_TRUE(fieldsStartedEmpty);
  EXPECT_EQ(user, "üser");
  EXPECT_EQ(password, "s3cret");
  user = password = "kept";
  EXPECT_FALSE(dialogs.LoginDialog("Login", user, password));
  EXPECT_EQ(user, "kept");
  EXPECT_FALSE(dialogs.LoginDialog("Login", user, password)) << "closed by the title bar";
  EXPECT_EQ(password, "kept");
}

TEST_F(QtDialogsTest, ProgressWindowShowsFileAndPosition) {
  auto progress = dialogs.CreateProgressWindow();
  ASSERT_NE(progress, nullptr);
  auto& form = static_cast<ui::qt::QtProgressWindow&>(*progress).Form();
  EXPECT_EQ(form.windowTitle(), "Downloading...");
  EXPECT_EQ(form.size(), QSize(300, 110));
  EXPECT_EQ(form.FileLabel->pos(), QPoint(10, 10));
  EXPECT_EQ(form.ProgressBar->geometry().topLeft(), QPoint(10, 40));
  EXPECT_EQ(form.ProgressBar->width(), 300 - 2 * form.FrameWidth() - 20);
  EXPECT_FALSE(form.isVisible()) << "created hidden";
  progress->Show();
  EXPECT_TRUE(form.isVisible());
  progress->SetRange(0, 2048);
  progress->SetPosition(512);
  progress->SetLabel("Downloading: a.cab");
  EXPECT_EQ(form.ProgressBar->maximum(), 2048);
  EXPECT_EQ(form.ProgressBar->value(), 512);
  EXPECT_EQ(form.ProgressBar->text(), "25%") << "the bar shows the share of the file";
  EXPECT_EQ(form.FileLabel->text(), "Downloading: a.cab");
  EXPECT_LE(form.FileLabel->fontMetrics().horizontalAdvance(form.FileLabel->text()), form.FileLabel->width())
      << "the whole name is visible";
  progress->SetRange(0, 0);
  EXPECT_EQ(form.ProgressBar->maximum(), 0);
  progress->Hide();
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace zephron::test
