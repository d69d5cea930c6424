#include "ui/qt/login_form.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace zephron::ui::qt {
namespace {

// The banner across the top of the form, drawn rather than shipped as a bitmap.
QPixmap Banner(const QFont& base) {
  QPixmap banner(TLoginForm::kClientWidth, 60);
  QPainter painter(&banner);
  QLinearGradient gradient(0, 0, banner.width(), 0);
  gradient.setColorAt(0, QColor(0, 32, 96));
  gradient.setColorAt(1, QColor(64, 160, 224));
  painter.fillRect(banner.rect(), gradient);
  QFont title = base;
  title.setBold(true);
  title.setPointSizeF(base.pointSizeF() + 6);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(banner.rect().adjusted(16, 0, -16, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Corvexis Zephron"));
  return banner;
}

}  // namespace

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("LoginForm"));
  // System menu only: a close box, no minimise, maximise or help buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setModal(true);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, kClientWidth, 60);
  Image1->setPixmap(Banner(font()));

  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(104, 80, 193, 21);
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Edit2->setGeometry(104, 112, 193, 21);
  Edit2->setEchoMode(QLineEdit::Password);
  Edit2->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

  Label1 = new QLabel(QStringLiteral("&User name: "), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(16, 80 + 2);
  Label1->adjustSize();
  Label1->setBuddy(Edit1);
  Label2 = new QLabel(QStringLiteral("&Password:"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(16, 112 + 2);
  Label2->adjustSize();
  Label2->setBuddy(Edit2);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(144, 152, 75, 25);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(224, 152, 75, 25);
  QObject::connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  QObject::connect(Button2, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects as well

  Image1->setFocusPolicy(Qt::NoFocus);
  QWidget::setTabOrder(Edit1, Edit2);
  QWidget::setTabOrder(Edit2, Button1);
  QWidget::setTabOrder(Button1, Button2);
  Edit1->setFocus();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace zephron::ui::qt
