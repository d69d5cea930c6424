#include "ui/qt/dialog_runner.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace zephron::ui::qt {
namespace {
int openDialogs = 0;
int dialogsShown = 0;
}  // namespace

std::function<void(QDialog&)>& OnDialogShown() {
  static std::function<void(QDialog&)> hook;
  return hook;
}

int OpenDialogs() { return openDialogs; }
int DialogsShown() { return dialogsShown; }

int RunDialog(QDialog& dialog) {
  struct Count {
    Count() {
      ++openDialogs;
      ++dialogsShown;
    }
    ~Count() { --openDialogs; }
  } count;
  if (OnDialogShown()) {
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, [guard] {
      if (guard && OnDialogShown()) OnDialogShown()(*guard);
    });
  }
  return dialog.exec();
}

QString& Title() {
  static QString title = QStringLiteral("Corvexis Zephron");
  return title;
}

QString ApplicationTitle() { return Title(); }
void SetApplicationTitle(const QString& title) { Title() = title; }

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace zephron::ui::qt
