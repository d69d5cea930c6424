#include "ui/qt/gradient_panel.h"

#include <QLinearGradient>
#include <QPainter>

namespace zephron::ui::qt {

QColor FromColorNumber(std::uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

std::uint32_t ToColorNumber(const QColor& color) {
  return static_cast<std::uint32_t>(color.red()) | static_cast<std::uint32_t>(color.green()) << 8 |
         static_cast<std::uint32_t>(color.blue()) << 16;
}

GradientPanel::GradientPanel(QWidget* parent) : QWidget(parent), label_(new QLabel(this)) {
  label_->setTextFormat(Qt::RichText);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label_->setAttribute(Qt::WA_TranslucentBackground);
  label_->setAutoFillBackground(false);
  label_->setStyleSheet("background: transparent; color: black;");
  SetBorderWidth(3);
}

void GradientPanel::SetColors(std::uint32_t first, std::uint32_t second) {
  first_ = first;
  second_ = second;
  update();
}

void GradientPanel::SetBorderWidth(int width) {
  border_ = width < 0 ? 0 : width;
  // A little air between the bevel and the text, as the framework's panels have.
  label_->setGeometry(rect().adjusted(border_ + 4, border_, -border_ - 2, -border_));
  update();
}

void GradientPanel::resizeEvent(QResizeEvent*) { SetBorderWidth(border_); }

void GradientPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, width(), 0);
  gradient.setColorAt(0, FromColorNumber(first_));
  gradient.setColorAt(1, FromColorNumber(second_));
  painter.fillRect(rect(), gradient);
  // Lowered bevel: dark on top and left, light on bottom and right.
  const QColor dark(128, 128, 128);
  const QColor light(255, 255, 255);
  for (int i = 0; i < border_; ++i) {
    const int right = width() - 1 - i;
    const int bottom = height() - 1 - i;
    painter.setPen(dark);
    painter.drawLine(i, i, right, i);
    painter.drawLine(i, i, i, bottom);
    painter.setPen(light);
    painter.drawLine(i, bottom, right, bottom);
    painter.drawLine(right, i, right, bottom);
  }
}

}  // namespace zephron::ui::qt
