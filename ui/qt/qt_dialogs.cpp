#include "ui/qt/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/qt/dialog_runner.h"
#include "ui/qt/login_form.h"
#include "ui/qt/text_dialogs.h"

namespace zephron::ui::qt {

void QtProgressWindow::Show() {
  form_.show();
  form_.FileLabel->repaint();
}

void QtProgressWindow::Hide() { form_.hide(); }

void QtProgressWindow::SetRange(int min, int max) {
  // A file without a known size reports 0..0; keep the bar valid.
  form_.ProgressBar->setRange(min, max < min ? min : max);
}

void QtProgressWindow::SetPosition(int pos) { form_.ProgressBar->setValue(pos); }

void QtProgressWindow::SetLabel(const std::string& text) {
  form_.FileLabel->setText(FromUtf8(text));
  if (form_.isVisible()) form_.FileLabel->repaint();
}

DialogResult QtDialogs::MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                   const std::string& caption) {
  const QMessageBox::Icon icon = kind == MessageKind::Error          ? QMessageBox::Critical
                                 : kind == MessageKind::Warning      ? QMessageBox::Warning
                                 : kind == MessageKind::Confirmation ? QMessageBox::Question
                                                                     : QMessageBox::Information;
  const QMessageBox::StandardButtons shown = buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                             : buttons == MessageButtons::RetryCancel
                                                 ? QMessageBox::Retry | QMessageBox::Cancel
                                                 : QMessageBox::StandardButtons(QMessageBox::Ok);
  QString message = FromUtf8(text);
  message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  message.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(icon, caption.empty() ? ApplicationTitle() : FromUtf8(caption), message, shown, parent_.data());
  QApplication::beep();
  switch (RunDialog(box)) {
    case QMessageBox::Ok:
      return DialogResult::Ok;
    case QMessageBox::Yes:
      return DialogResult::Yes;
    case QMessageBox::No:
      return DialogResult::No;
    case QMessageBox::Retry:
      return DialogResult::Retry;
    case QMessageBox::Cancel:
      return DialogResult::Cancel;
    default:
      // Closed by the title bar or Escape without a matching button.
      return DefaultAnswer(buttons);
  }
}

bool QtDialogs::LoginDialog(const std::string& caption, std::string& user, std::string& password) {
  TLoginForm form(parent_.data());
  form.setWindowTitle(FromUtf8(caption));
  if (RunDialog(form) != QDialog::Accepted) return false;
  user = form.Edit1->text().toStdString();
  password = form.Edit2->text().toStdString();
  return true;
}

std::unique_ptr<ProgressWindow> QtDialogs::CreateProgressWindow() {
  return std::make_unique<QtProgressWindow>();
}

std::unique_ptr<AnimationWindow> QtDialogs::ShowAnimation(const std::string& caption, const std::string& message) {
  return std::make_unique<TAnimationForm>(caption, message);
}

bool QtDialogs::WhatsNewDialog(const WhatsNewDialogSpec& spec) {
  TWhatsNewForm form(spec, parent_.data());
  // The close box rejects, as the refusing button does.
  return RunDialog(form) == QDialog::Accepted;
}

bool QtDialogs::AgreementDialog(const AgreementDialogSpec& spec) {
  TAgreementForm form(spec, parent_.data());
  RunDialog(form);
  return form.Accept->isChecked();
}

void QtDialogs::HtmlDialog(const std::string& page) {
  THtmlForm form(page, parent_.data());
  RunDialog(form);
}

void QtDialogs::ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace zephron::ui::qt
