// The what's-new, agreement, HTML page and animation windows on Qt: their
// layout as the control file's dialogs are described, and how each way of
// closing them answers.
#include <QLabel>
#include <QProgressBar>

#include "tests/qt/qt_fixture.h"
#include "ui/qt/text_dialogs.h"

namespace zephron::test {
namespace {

using ui::qt::TAgreementForm;
using ui::qt::THtmlForm;
using ui::qt::TWhatsNewForm;

ui::WhatsNewDialogSpec News(bool rich) {
  return {"What's new", {rich ? "{\\rtf1 {\\b Faster} downloads\\par}" : "Faster downloads\r\n", rich}, "Ok", "Cancel"};
}

ui::AgreementDialogSpec Terms() { return {"Licence", {"The terms", false}, "Ok", "I accept", "I do not accept"}; }

class QtTextDialogs : public QtWindowFixture {};

TEST_F(QtTextDialogs, WhatsNewFormIsLaidOutFromItsTextControl) {
  TWhatsNewForm form(News(false), nullptr);
  EXPECT_EQ(form.size(), QSize(400, 400));
  EXPECT_EQ(form.Text->geometry(), QRect(10, 10, 380, 340));
  EXPECT_TRUE(form.Text->isReadOnly());
  EXPECT_EQ(form.Text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form.Text->toPlainText(), QStringLiteral("Faster downloads\r\n").trimmed() + QChar('\n'));
  EXPECT_EQ(form.OkButton->y(), 360);
  EXPECT_EQ(form.CancelButton->geometry().right() + 1, 390);
  EXPECT_EQ(form.OkButton->x(), 390 - 2 * form.OkButton->width() - 10);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(QtTextDialogs, RichWhatsNewShowsTheFormattedText) {
  TWhatsNewForm form(News(true), nullptr);
  EXPECT_EQ(form.Text->toPlainText().trimmed(), QStringLiteral("Faster downloads"));
  EXPECT_NE(form.Text->toHtml().indexOf(QStringLiteral("font-weight:700")), -1);
}

TEST_F(QtTextDialogs, WhatsNewAcceptsOnlyWithItsAcceptingButton) {
  AnswerDialogs({[](QDialog& d) { static_cast<TWhatsNewForm&>(d).OkButton->click(); },
                 [](QDialog& d) { static_cast<TWhatsNewForm&>(d).CancelButton->click(); },
                 [](QDialog& d) { d.close(); }});
  EXPECT_TRUE(dialogs.WhatsNewDialog(News(false)));
  EXPECT_FALSE(dialogs.WhatsNewDialog(News(false)));
  EXPECT_FALSE(dialogs.WhatsNewDialog(News(false))) << "the close box refuses";
}

TEST_F(QtTextDialogs, AgreementPreselectsRefusalAndAnswersByTheChoiceHoweverClosed) {
  TAgreementForm form(Terms(), nullptr);
  EXPECT_TRUE(form.NotAccept->isChecked());
  EXPECT_EQ(form.Accept->pos(), QPoint(10, 360));
  EXPECT_EQ(form.NotAccept->x(), form.Accept->width() + 20);
  EXPECT_EQ(form.CloseButton->geometry().right() + 1, 390);

  AnswerDialogs({[](QDialog& d) { static_cast<TAgreementForm&>(d).CloseButton->click(); },
                 [](QDialog& d) {
                   static_cast<TAgreementForm&>(d).Accept->click();
                   static_cast<TAgreementForm&>(d).CloseButton->click();
                 },
                 [](QDialog& d) {
                   static_cast<TAgreementForm&>(d).Accept->click();
                   d.close();
                 }});
  EXPECT_FALSE(dialogs.AgreementDialog(Terms()));
  EXPECT_TRUE(dialogs.AgreementDialog(Terms()));
  EXPECT_TRUE(dialogs.AgreementDialog(Terms())) << "the choice counts, not the way out";
}

TEST_F(QtTextDialogs, HtmlDialogShowsTheLocalPageAndAnimationWindowItsMessage) {
  WriteFile(sandbox.root() / "notes.html", "<html><head><title>Release notes</title></head><body>Hello</body></html>");
  THtmlForm page((sandbox.root() / "notes.html").string(), nullptr);
  EXPECT_EQ(page.windowTitle(), QStringLiteral("Release notes"));
  EXPECT_EQ(page.Browser->toPlainText().trimmed(), QStringLiteral("Hello"));

  auto animation = dialogs.ShowAnimation("Patching", "Please wait");
  auto* form = dynamic_cast<QDialog*>(animation.get());
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->size(), QSize(300, 170));
  EXPECT_EQ(form->findChild<QProgressBar*>()->pos(), QPoint(10, 10));
  EXPECT_EQ(form->findChild<QLabel*>()->text(), QStringLiteral("Please wait"));
}

}  // namespace
}  // namespace zephron::test
