// TLoginForm (LoginForm): the fixed login prompt the engine shows when a
// server asks for a user name and password.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zephron::ui::qt {

class TLoginForm : public QDialog {
 public:
  static constexpr int kClientWidth = 320;
  static constexpr int kClientHeight = 189;

  explicit TLoginForm(QWidget* parent = nullptr);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QPushButton* Button1;
  QPushButton* Button2;
};

}  // namespace zephron::ui::qt
