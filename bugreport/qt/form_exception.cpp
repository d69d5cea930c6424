#include "bugreport/qt/form_exception.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <optional>

#include "bugreport/exception_capture.h"
#include "bugreport/report_post.h"
#include "bugreport/report_store.h"
#include "ui/qt/dialog_runner.h"
#include "ui/qt/qt_dialogs.h"
#include "xml/xml_document.h"

namespace zephron::bugreport::qt {
namespace {

using ui::qt::FromUtf8;

QFont FixedPitchFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

QPlainTextEdit* MakeMemo(QWidget* parent, bool readOnly) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setReadOnly(readOnly);
  memo->setFont(FixedPitchFont());
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return memo;
}

// The window closes with OK once "Continue" has run, also when building the
// request failed and that failure goes on to the program's handler.
struct CloseWithOk {
  QDialog& form;
  ~CloseWithOk() { form.accept(); }
};

}  // namespace

TformException::TformException(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("formException"));
  setWindowTitle(QString::fromUtf8(texts::kCaption));
  resize(784, 438);
  setMinimumSize(728, 476);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setObjectName(QStringLiteral("Splitter"));
  Splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background: maroon; }"));
  Splitter->setHandleWidth(3);
  Splitter->setChildrenCollapsible(false);

  panLeft = new QWidget(Splitter);
  panLeft->setObjectName(QStringLiteral("panLeft"));
  auto* leftLayout = new QVBoxLayout(panLeft);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  gbLeft = new QGroupBox(QStringLiteral("Contents"), panLeft);
  gbLeft->setObjectName(QStringLiteral("gbLeft"));
  leftLayout->addWidget(gbLeft);
  auto* contentsLayout = new QVBoxLayout(gbLeft);
  eContents = MakeMemo(gbLeft, true);
  eContents->setObjectName(QStringLiteral("eContents"));
  contentsLayout->addWidget(eContents, 1);
  GroupBox2 = new QGroupBox(QStringLiteral("User comment"), gbLeft);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setFixedHeight(111);
  auto* commentLayout = new QVBoxLayout(GroupBox2);
  eUserComment = MakeMemo(GroupBox2, false);
  eUserComment->setObjectName(QStringLiteral("eUserComment"));
  commentLayout->addWidget(eUserComment);
  contentsLayout->addWidget(GroupBox2);

  gbScreenshot = new QGroupBox(QStringLiteral("Screenshot"), Splitter);
  gbScreenshot->setObjectName(QStringLiteral("gbScreenshot"));
  auto* screenshotLayout = new QVBoxLayout(gbScreenshot);
  ScrollBox1 = new QScrollArea(gbScreenshot);
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setWidgetResizable(false);
  imScreenshot = new QLabel;
  imScreenshot->setObjectName(QStringLiteral("imScreenshot"));
  ScrollBox1->setWidget(imScreenshot);
  screenshotLayout->addWidget(ScrollBox1);
  Splitter->addWidget(panLeft);
  Splitter->addWidget(gbScreenshot);
  Splitter->setSizes({572, 784 - 572});
  Splitter->setStretchFactor(1, 1);
  outer->addWidget(Splitter, 1);

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(116);
  auto* bottom = new QHBoxLayout(Panel1);
  Label1 = new QLabel(QString::fromUtf8(texts::kExplanation), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setWordWrap(true);
  bottom->addWidget(Label1, 1);
  Panel3 = new QWidget(Panel1);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  Panel3->setFixedWidth(335);
  auto* choices = new QVBoxLayout(Panel3);
  cbAllowReport = new QCheckBox(QString::fromUtf8(texts::kAllowReport), Panel3);
  cbAllowReport->setObjectName(QStringLiteral("cbAllowReport"));
  cbAllowScreenshot = new QCheckBox(QString::fromUtf8(texts::kAllowScreenshot), Panel3);
  cbAllowScreenshot->setObjectName(QStringLiteral("cbAllowScreenshot"));
  labResuming = new QLabel(Panel3);
  labResuming->setObjectName(QStringLiteral("labResuming"));
  bContinue = new QPushButton(QString::fromUtf8(texts::kContinue), Panel3);
  bContinue->setObjectName(QStringLiteral("bContinue"));
  bContinue->setDefault(true);
  bShutdown = new QPushButton(QString::fromUtf8(texts::kShutdown), Panel3);
  bShutdown->setObjectName(QStringLiteral("bShutdown"));
  bShutdown->setAutoDefault(false);
  choices->addWidget(cbAllowReport);
  choices->addWidget(cbAllowScreenshot);
  choices->addStretch(1);
  choices->addWidget(labResuming);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bContinue);
  buttons->addWidget(bShutdown);
  choices->addLayout(buttons);
  bottom->addWidget(Panel3);
  outer->addWidget(Panel1);

  sbar = new QStatusBar(this);
  sbar->setObjectName(QStringLiteral("sbar"));
  sbar->setSizeGripEnabled(false);
  sbarPanel0 = new QLabel(sbar);
  sbarPanel0->setMinimumWidth(50);
  sbar->addWidget(sbarPanel0, 1);
  outer->addWidget(sbar);

  for (QWidget* bound : std::initializer_list<QWidget*>{Panel1, Label1, Panel3, labResuming, cbAllowReport,
                                                       cbAllowScreenshot, bContinue, ScrollBox1, imScreenshot, gbLeft,
                                                       eContents, GroupBox2, eUserComment}) {
    mouseMoveBound_.insert(bound);
  }
  // The text boxes and the scroll box receive the mouse in their viewports.
  mouseMoveBound_.insert(eContents->viewport());
  mouseMoveBound_.insert(eUserComment->viewport());
  mouseMoveBound_.insert(ScrollBox1->viewport());
  for (QObject* bound : mouseMoveBound_) {
    static_cast<QWidget*>(bound)->setMouseTracking(true);
    bound->installEventFilter(this);
  }
  // Unhandled mouse moves travel up to the parent, and "Shutdown Program"
  // sits in the bound Panel3: its moves must end at the button.
  bShutdown->setMouseTracking(true);
  bShutdown->installEventFilter(this);

  connect(cbAllowReport, &QCheckBox::clicked, this, [this] { cbAllowReportClick(); });
  connect(bContinue, &QPushButton::clicked, this, [this] { bContinueClick(); });
  connect(bShutdown, &QPushButton::clicked, this, [this] { bShutdownClick(); });
  timResume.setInterval(1000);
  connect(&timResume, &QTimer::timeout, this, [this] { timResumeTimer(); });
  ServerURL = BugReportServer();
  FormCreate();
}

TformException::~TformException() = default;

void TformException::FormCreate() {
  ResumeIn = kResumeSeconds;
  layout()->activate();
  const QPoint corner = bContinue->mapTo(this, QPoint(bContinue->width(), bContinue->height()));
  const int frameWidth = frameGeometry().width() - width();
  const int frameHeight = frameGeometry().height() - height();
  setMinimumSize(std::max(minimumWidth(), corner.x() + frameWidth), std::max(minimumHeight(), corner.y() + frameHeight));
  timResume.start();
}

void TformException::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr && parentWidget() == nullptr) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TformException::timResumeTimer() {
  labResuming->setText(QString::fromStdString(ResumingText(ResumeIn)));
  const int before = ResumeIn--;
  if (before == 1) {
    timResume.stop();
    bContinue->click();
  }
}

void TformException::eContentsMouseMove() {
  timResume.stop();
  labResuming->setVisible(false);
}

bool TformException::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == bShutdown) return true;
    if (mouseMoveBound_.contains(watched)) eContentsMouseMove();
  }
  return QDialog::eventFilter(watched, event);
}

void TformException::cbAllowReportClick() { UpdateScreenshotOption(); }

void TformException::UpdateScreenshotOption() {
  cbAllowScreenshot->setEnabled(
      ScreenshotChoiceOpen(cbAllowReport->isChecked(), exceptIntf.get(), ReplacementReport));
  if (!cbAllowReport->isChecked()) cbAllowScreenshot->setChecked(false);
}

void TformException::ShowScreenshot(const TScreenshot* screenshot) {
  if (screenshot == nullptr) {
    gbScreenshot->hide();
    Splitter->handle(1)->hide();
    return;
  }
  QPixmap picture;
  picture.loadFromData(reinterpret_cast<const uchar*>(screenshot->Png().data()),
                       static_cast<uint>(screenshot->Png().size()), "PNG");
  imScreenshot->setGeometry(0, 0, screenshot->Width(), screenshot->Height());
  imScreenshot->setPixmap(picture);
}

std::unique_ptr<TxmlDocument> TformException::BuildReportRequest() {
  QString comment = eUserComment->toPlainText();
  comment.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return bugreport::BuildReportRequest(exceptIntf.get(), ReplacementReport, cbAllowScreenshot->isChecked(),
                                       comment.toStdString());
}

void TformException::bContinueClick() {
  CloseWithOk closing{*this};
  bContinue->setEnabled(false);
  if (!cbAllowReport->isChecked()) return;
  sbarPanel0->setText(QString::fromUtf8(texts::kSending));
  const std::optional<std::string> failure = DeliverReportRequest(BuildReportRequest(), ServerURL);
  if (failure) ui::qt::QtDialogs(this).MessageBox(*failure, ui::MessageKind::Warning, ui::MessageButtons::Ok);
}

void TformException::bShutdownClick() { CloseApplication(); }

void ShowReportDialog(const TExceptionReportPtr& report, bool& handled, const std::string& replacement) {
  TformException form;
  QString contents = FromUtf8(!replacement.empty() ? replacement : report->GetBugReport());
  contents.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  form.eContents->setPlainText(contents);
  if (report->GetAutoSave()) SaveBugReport(report->GetBugReport());
  form.ShowScreenshot(replacement.empty() ? report->GetScreenShot() : nullptr);
  form.cbAllowReport->setChecked(RememberedAllowReport());
  form.cbAllowScreenshot->setChecked(RememberedAllowScreenshot());
  form.exceptIntf = report;
  form.ReplacementReport = replacement;
  form.UpdateScreenshotOption();
  ui::qt::RunDialog(form);
  RememberedAllowReport() = form.cbAllowReport->isChecked();
  RememberedAllowScreenshot() = form.cbAllowScreenshot->isChecked();
  handled = true;
}

}  // namespace zephron::bugreport::qt
