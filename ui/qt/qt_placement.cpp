#include "ui/qt/qt_placement.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QVariant>

namespace zephron::ui::qt {

namespace {

constexpr const char* kAlignProperty = "zephronAlign";

PlaceRect ToPlace(const QRect& r) { return PlaceRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

bool FixedSize(const QWidget& w) { return w.minimumSize() == w.maximumSize(); }

}  // namespace

std::string QtPlacedWindow::Name() const { return window_.objectName().toStdString(); }

PlaceRect QtPlacedWindow::NormalRect() const {
  return ToPlace(window_.isMaximized() || window_.isFullScreen() ? window_.normalGeometry() : window_.geometry());
}

void QtPlacedWindow::SetNormalRect(const PlaceRect& rect) {
  window_.setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

bool QtPlacedWindow::Maximized() const { return window_.isMaximized(); }

void QtPlacedWindow::Maximize() { window_.setWindowState(window_.windowState() | Qt::WindowMaximized); }

int QtPlacedWindow::BorderStyle() const {
  const Qt::WindowFlags flags = window_.windowFlags();
  if (flags.testFlag(Qt::FramelessWindowHint)) return bsNone;
  const Qt::WindowType type = window_.windowType();
  if (type == Qt::Tool) return FixedSize(window_) ? bsToolWindow : bsSizeToolWin;
  if (type == Qt::Dialog || flags.testFlag(Qt::MSWindowsFixedSizeDialogHint)) return bsDialog;
  return FixedSize(window_) ? bsSingle : bsSizeable;
}

void QtPlacedWindow::SetBorderStyle(int ordinal) {
  if (ordinal < bsNone || ordinal > bsSizeToolWin || ordinal == BorderStyle()) return;
  Qt::WindowFlags flags = window_.windowFlags() & ~(Qt::WindowType_Mask | Qt::FramelessWindowHint |
                                                    Qt::MSWindowsFixedSizeDialogHint);
  switch (ordinal) {
    case bsNone: flags |= Qt::Window | Qt::FramelessWindowHint; break;
    case bsDialog: flags |= Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint; break;
    case bsToolWindow: case bsSizeToolWin: flags |= Qt::Tool; break;
    default: flags |= Qt::Window; break;
  }
  const bool fixed = ordinal == bsSingle || ordinal == bsDialog || ordinal == bsToolWindow;
  if (fixed) {
    window_.setFixedSize(window_.size());
  } else if (ordinal != bsNone) {
    window_.setMinimumSize(0, 0);
    window_.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  // New flags take a window off the screen; it comes back as it was.
  const bool visible = window_.isVisible();
  window_.setWindowFlags(flags);
  if (visible) window_.show();
}

bool QtPlacedWindow::Showing() const { return window_.isVisible(); }

void QtPlacedWindow::SetShowing(bool showing) { window_.setVisible(showing); }

std::vector<PlaceRect> QtPlacedWindow::ScreenAreas() const {
  std::vector<PlaceRect> areas;
  if (QScreen* primary = QGuiApplication::primaryScreen()) areas.push_back(ToPlace(primary->availableGeometry()));
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) areas.push_back(ToPlace(screen->availableGeometry()));
  }
  return areas;
}

std::string QtPlacedControl::Name() const { return control_.objectName().toStdString(); }

std::string QtPlacedControl::FormName() const { return control_.window()->objectName().toStdString(); }

int QtPlacedControl::Align() const { return control_.property(kAlignProperty).toInt(); }

void QtPlacedControl::SetAlign(int ordinal) { control_.setProperty(kAlignProperty, ordinal); }

int QtPlacedListView::ColumnCount() const { return view_.header()->count(); }

int QtPlacedListView::ColumnWidth(int column) const { return view_.columnWidth(column); }

void QtPlacedListView::SetColumnWidth(int column, int width) { view_.setColumnWidth(column, width); }

void QtPlacedListView::SetColumnAutoSize(int column, bool automatic) {
  QHeaderView* header = view_.header();
  header->setSectionResizeMode(column, automatic ? QHeaderView::ResizeToContents : QHeaderView::Interactive);
  // A stretched last column would take the remaining width, whatever was set.
  if (!automatic && column == header->count() - 1) header->setStretchLastSection(false);
}

}  // namespace zephron::ui::qt
