// The gradient panel of a product row: a horizontal blend from a first to a
// second colour inside a lowered bevel, holding a transparent label whose
// caption may carry simple HTML formatting.
#pragma once

#include <QLabel>
#include <QWidget>
#include <cstdint>

namespace zephron::ui::qt {

// A framework colour number (red in the low byte, blue in the high byte) as a QColor.
QColor FromColorNumber(std::uint32_t color);
std::uint32_t ToColorNumber(const QColor& color);

class GradientPanel : public QWidget {
 public:
  explicit GradientPanel(QWidget* parent = nullptr);

  void SetColors(std::uint32_t first, std::uint32_t second);
  std::uint32_t FirstColor() const { return first_; }
  std::uint32_t SecondColor() const { return second_; }
  void SetBorderWidth(int width);
  int BorderWidth() const { return border_; }
  QLabel* Label() const { return label_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* label_;
  std::uint32_t first_ = 0xFFFFFF;
  std::uint32_t second_ = 0xFFFF00;
  int border_ = 3;
};

}  // namespace zephron::ui::qt
