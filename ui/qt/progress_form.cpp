#include "ui/qt/progress_form.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace zephron::ui::qt {

TProgressForm::TProgressForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(QStringLiteral("Downloading..."));
  // Dialog border without any border icons: the download cannot be closed from here.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(kWidth, kHeight);

  FileLabel = new QLabel(this);
  FileLabel->setObjectName(QStringLiteral("FileLabel"));
  FileLabel->setTextFormat(Qt::PlainText);
  FileLabel->setGeometry(10, 10, kWidth - 20, 20);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setGeometry(10, 40, kWidth - 2 * FrameWidth() - 20, 17);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

int TProgressForm::FrameWidth() const { return style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this); }

}  // namespace zephron::ui::qt
