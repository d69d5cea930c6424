// The position helpers' window, control and list view (ui/placement.h) on Qt
// widgets. A placement rectangle is the widget's geometry without the frame;
// Qt has no per-widget alignment (layouts place children), so a control
// keeps its alignment ordinal as the widget property "zephronAlign".
#pragma once

#include <QTreeView>
#include <QWidget>

#include "ui/placement.h"

namespace zephron::ui::qt {

class QtPlacedWindow : public PlacedWindow {
 public:
  explicit QtPlacedWindow(QWidget& window) : window_(window) {}
  std::string Name() const override;
  PlaceRect NormalRect() const override;
  void SetNormalRect(const PlaceRect& rect) override;
  bool Maximized() const override;
  void Maximize() override;
  int BorderStyle() const override;
  void SetBorderStyle(int ordinal) override;
  bool Showing() const override;
  void SetShowing(bool showing) override;
  std::vector<PlaceRect> ScreenAreas() const override;

 private:
  QWidget& window_;
};

class QtPlacedControl : public PlacedControl {
 public:
  explicit QtPlacedControl(QWidget& control) : control_(control) {}
  std::string Name() const override;
  std::string FormName() const override;
  int Left() const override { return control_.x(); }
  int Top() const override { return control_.y(); }
  int Width() const override { return control_.width(); }
  int Height() const override { return control_.height(); }
  void SetLeft(int left) override { control_.move(left, control_.y()); }
  void SetTop(int top) override { control_.move(control_.x(), top); }
  void SetWidth(int width) override { control_.resize(width, control_.height()); }
  void SetHeight(int height) override { control_.resize(control_.width(), height); }
  int Align() const override;
  void SetAlign(int ordinal) override;

 private:
  QWidget& control_;
};

// A list view in report style: the columns of a tree view's header.
class QtPlacedListView : public PlacedListView {
 public:
  explicit QtPlacedListView(QTreeView& view) : view_(view), control_(view) {}
  std::string Name() const override { return control_.Name(); }
  std::string FormName() const override { return control_.FormName(); }
  int Left() const override { return control_.Left(); }
  int Top() const override { return control_.Top(); }
  int Width() const override { return control_.Width(); }
  int Height() const override { return control_.Height(); }
  void SetLeft(int left) override { control_.SetLeft(left); }
  void SetTop(int top) override { control_.SetTop(top); }
  void SetWidth(int width) override { control_.SetWidth(width); }
  void SetHeight(int height) override { control_.SetHeight(height); }
  int Align() const override { return control_.Align(); }
  void SetAlign(int ordinal) override { control_.SetAlign(ordinal); }
  int ColumnCount() const override;
  int ColumnWidth(int column) const override;
  void SetColumnWidth(int column, int width) override;
  void SetColumnAutoSize(int column, bool automatic) override;

 private:
  QTreeView& view_;
  QtPlacedControl control_;
};

}  // namespace zephron::ui::qt
