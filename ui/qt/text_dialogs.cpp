#include "ui/qt/text_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QUrl>

#include "ui/qt/dialog_runner.h"
#include "ui/rtf.h"

namespace zephron::ui::qt {
namespace {

constexpr int kFormSize = 400;

void CentreOnScreen(QWidget& widget) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = widget.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  widget.move(frame.topLeft());
}

// Dialog border with the system menu (close box) only.
void MakeTextForm(QDialog& form, const std::string& caption) {
  form.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowCloseButtonHint);
  form.setFixedSize(kFormSize, kFormSize);
  form.setModal(true);
  form.setWindowTitle(FromUtf8(caption));
  CentreOnScreen(form);
}

// The read-only, word-wrapping text at (10, 10), 20 narrower and 60 lower than the form.
QTextBrowser* MakeText(QDialog& form, const DialogText& text) {
  auto* view = new QTextBrowser(&form);
  view->setObjectName(QStringLiteral("Text"));
  view->setGeometry(10, 10, form.width() - 20, form.height() - 60);
  view->setReadOnly(true);
  view->setOpenLinks(false);
  view->setLineWrapMode(QTextEdit::WidgetWidth);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  if (text.rich) {
    view->setHtml(FromUtf8(RtfToHtml(text.bytes)));
  } else {
    view->setPlainText(QString::fromUtf8(text.bytes.data(), static_cast<qsizetype>(text.bytes.size())));
  }
  return view;
}

QPushButton* MakeButton(QDialog& form, const std::string& caption, const char* name) {
  auto* button = new QPushButton(FromUtf8(caption), &form);
  button->setObjectName(QString::fromLatin1(name));
  button->resize(75, 25);
  return button;
}

}  // namespace

TWhatsNewForm::TWhatsNewForm(const WhatsNewDialogSpec& spec, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("WhatsNewForm"));
  MakeTextForm(*this, spec.caption);
  Text = MakeText(*this, spec.text);
  const QRect t = Text->geometry();
  OkButton = MakeButton(*this, spec.okButton, "OkButton");
  CancelButton = MakeButton(*this, spec.cancelButton, "CancelButton");
  const int top = t.top() + t.height() + 10;
  OkButton->move(t.left() + t.width() - 2 * OkButton->width() - 10, top);
  CancelButton->move(t.left() + t.width() - CancelButton->width(), top);
  setTabOrder(OkButton, CancelButton);
  OkButton->setDefault(true);
  OkButton->setFocus();
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TAgreementForm::TAgreementForm(const AgreementDialogSpec& spec, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AgreementForm"));
  MakeTextForm(*this, spec.caption);
  Text = MakeText(*this, spec.text);
  const QRect t = Text->geometry();
  const int top = t.top() + t.height() + 10;
  CloseButton = MakeButton(*this, spec.closeButton, "CloseButton");
  CloseButton->move(t.left() + t.width() - CloseButton->width(), top);
  Accept = new QRadioButton(FromUtf8(spec.accept), this);
  Accept->setObjectName(QStringLiteral("Accept"));
  Accept->adjustSize();
  Accept->move(10, top);
  NotAccept = new QRadioButton(FromUtf8(spec.notAccept), this);
  NotAccept->setObjectName(QStringLiteral("NotAccept"));
  NotAccept->adjustSize();
  NotAccept->move(Accept->width() + 20, top);
  NotAccept->setChecked(true);
  setTabOrder(CloseButton, Accept);
  setTabOrder(Accept, NotAccept);
  CloseButton->setDefault(true);
  CloseButton->setFocus();
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

THtmlForm::THtmlForm(const std::string& page, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HtmlForm"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  resize(640, 480);
  Browser = new QTextBrowser(this);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->setGeometry(rect());
  // Links leave the dialog for the desktop's browser.
  Browser->setOpenLinks(false);
  connect(Browser, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
  Browser->setSource(QUrl::fromLocalFile(FromUtf8(page)));
  setWindowTitle(Browser->documentTitle().isEmpty() ? ApplicationTitle() : Browser->documentTitle());
  CentreOnScreen(*this);
}

TAnimationForm::TAnimationForm(const std::string& caption, const std::string& message) {
  setObjectName(QStringLiteral("AnimationForm"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(300, 170);
  setWindowTitle(FromUtf8(caption));
  auto* busy = new QProgressBar(this);
  busy->setObjectName(QStringLiteral("Animate1"));
  busy->setRange(0, 0);  // an endless busy animation
  busy->setTextVisible(false);
  busy->setGeometry(10, 10, 280, 24);
  auto* label = new QLabel(FromUtf8(message), this);
  label->setObjectName(QStringLiteral("StatusMessage"));
  label->setWordWrap(true);
  label->setGeometry(10, busy->geometry().bottom() + 1 + 8, 280, 170 - busy->geometry().bottom() - 18);
  CentreOnScreen(*this);
  show();
  QCoreApplication::processEvents();
}

}  // namespace zephron::ui::qt
