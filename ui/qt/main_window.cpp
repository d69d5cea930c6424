#include "ui/qt/main_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include "ui/qt/dialog_runner.h"

namespace zephron::ui::qt {
namespace {

// Panels top to bottom on screen, with the catalogue row each one shows.
struct PanelPlace {
  const char* key;
  int row;
  int top;
  int height;
};
constexpr PanelPlace kPanels[] = {
    {"VardelQuillon", 2, 23, 26},   {"TesselServer", 0, 56, 25},    {"QuillonOlvaneServer", 1, 88, 25},
    {"QuillonTendwell", 3, 120, 25}, {"QuillonZephron", 4, 152, 25},
};

// The updater's texts break lines with a lone CR.
QString MessageText(const std::string& text) {
  QString result = FromUtf8(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left, int width) {
  auto* button = new QPushButton(caption, parent);
  button->setFont(parent->font());
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 223, width, 28);
  // The buttons keep their sizes; a caption that would be clipped in the
  // enlarged font gets a slightly smaller one instead.
  QFont font = button->font();
  while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(button->text()) > width - 14) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  button->setFont(font);
  return button;
}

}  // namespace

QtMainWindow::QtMainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("formMain"));
  setWindowTitle(QStringLiteral("Corvexis Zephron"));
  QFont enlarged = font();
  enlarged.setPointSizeF(enlarged.pointSizeF() + 2);
  setFont(enlarged);
  // Fixed dialog border: the client area never changes size.
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);

  for (const PanelPlace& place : kPanels) {
    auto* panel = new GradientPanel(this);
    panel->setObjectName(QStringLiteral("pan") + QString::fromLatin1(place.key));
    panel->Label()->setObjectName(QStringLiteral("lab") + QString::fromLatin1(place.key));
    panel->setGeometry(31, place.top, 500, place.height);
    panel->SetBorderWidth(3);
    panels_[static_cast<std::size_t>(place.row)] = panel;
  }

  bCheck_ = MakeButton(this, "bCheck", QStringLiteral("Check for updates"), 216, 113);
  bGetUpdates_ = MakeButton(this, "bGetUpdates", QStringLiteral("Get updates"), 336, 97);
  bGetUpdates_->setEnabled(false);
  bitBtn1_ = MakeButton(this, "BitBtn1", QStringLiteral("&Close"), 440, 89);
  bitBtn1_->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  sbar_ = new QLabel(this);
  sbar_->setObjectName(QStringLiteral("sbar"));
  sbar_->setGeometry(0, 263, kClientWidth, 19);
  sbar_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sbar_->setTextFormat(Qt::PlainText);
  sbar_->setIndent(2);

  pBar_ = new QProgressBar(this);
  pBar_->setObjectName(QStringLiteral("pBar"));
  pBar_->setRange(0, 100);
  pBar_->setValue(0);
  pBar_->setTextVisible(false);
  pBar_->setGeometry(0, kClientHeight - 16, kClientWidth, 16);
  pBar_->hide();

  QObject::connect(bCheck_, &QPushButton::clicked, this, [this] { RunHandler(onCheck); });
  QObject::connect(bGetUpdates_, &QPushButton::clicked, this, [this] { RunHandler(onGetUpdates); });
  QObject::connect(bitBtn1_, &QPushButton::clicked, this, [this] {
    if (onClose) {
      RunHandler(onClose);
    } else {
      close();
    }
  });
}

void QtMainWindow::RunHandler(const std::function<void()>& handler) {
  if (!handler) return;
  std::string failure;
  // Nothing may leave a slot: an exception through Qt's event loop ends the
  // program, and one that leaves a pass half-way would keep the buttons
  // disabled and the busy cursor up.
  try {
    handler();
    return;
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "Unexpected error";
  }
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  SetCheckEnabled(true);
  SetProgressVisible(false);
  SetStatusText(failure);
  ShowInfo(failure);
}

GradientPanel* QtMainWindow::Panel(int row) const {
  if (row < 0 || row >= static_cast<int>(panels_.size())) return nullptr;
  return panels_[static_cast<std::size_t>(row)];
}

void QtMainWindow::CenterOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void QtMainWindow::SetCaption(const std::string& caption) { setWindowTitle(FromUtf8(caption)); }

void QtMainWindow::SetStatusText(const std::string& text) {
  sbar_->setText(FromUtf8(text));
  // The pass runs without returning to the event loop; show the text now.
  sbar_->repaint();
}

void QtMainWindow::SetCheckEnabled(bool enabled) { bCheck_->setEnabled(enabled); }
void QtMainWindow::SetGetUpdatesEnabled(bool enabled) { bGetUpdates_->setEnabled(enabled); }

void QtMainWindow::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (QApplication::overrideCursor()) {
    QApplication::restoreOverrideCursor();
  }
}

bool QtMainWindow::IsBusyCursor() const {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor && cursor->shape() == Qt::WaitCursor;
}

void QtMainWindow::SetProgressVisible(bool visible) { pBar_->setVisible(visible); }
bool QtMainWindow::ProgressVisible() const { return !pBar_->isHidden(); }
void QtMainWindow::SetProgressPosition(int position) { pBar_->setValue(position); }

void QtMainWindow::ShowProductRow(int row, const ProductRow& display) {
  GradientPanel* panel = Panel(row);
  if (!panel) return;
  // Product names and versions are plain text inside the label's rich text.
  panel->Label()->setText(FromUtf8(display.label).toHtmlEscaped());
  panel->SetColors(display.firstColor, display.secondColor);
}

void QtMainWindow::ShowInfo(const std::string& text) {
  QApplication::beep();
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), MessageText(text), QMessageBox::Ok, this);
  RunDialog(box);
}

bool QtMainWindow::AskYesNo(const std::string& text) {
  QApplication::beep();
  QMessageBox box(QMessageBox::Information, ApplicationTitle(), MessageText(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  return RunDialog(box) == QMessageBox::Yes;
}

bool QtMainWindow::WarnRetryCancel(const std::string& text) {
  QApplication::beep();
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(), MessageText(text),
                  QMessageBox::Retry | QMessageBox::Cancel, this);
  return RunDialog(box) == QMessageBox::Retry;
}

void QtMainWindow::ProcessMessages() { QCoreApplication::processEvents(); }

void QtMainWindow::Close() { close(); }

}  // namespace zephron::ui::qt
