// Windows, controls and list views as the position helpers see them: a
// placement rectangle, the show and maximized states, the border style, the
// alignment and the column widths. The toolkit implements these (ui/qt/);
// the helpers that keep them in an XML element (placement_store.h) never
// touch a widget.
#pragma once

#include <string>
#include <vector>

namespace zephron::ui {

// Screen coordinates; right and bottom lie just outside.
struct PlaceRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const PlaceRect&) const = default;
};

// Border-style ordinals as the stored "BorderStyle" values.
enum BorderStyleOrdinal : int { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// Alignment ordinals as the stored "Align" values.
enum AlignOrdinal : int { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };

class PlacedWindow {
 public:
  virtual ~PlacedWindow() = default;
  virtual std::string Name() const = 0;
  // The normal (not maximized) rectangle, also while maximized or hidden.
  virtual PlaceRect NormalRect() const = 0;
  virtual void SetNormalRect(const PlaceRect& rect) = 0;
  virtual bool Maximized() const = 0;
  // Maximized the next time the window shows, at once when it is showing.
  virtual void Maximize() = 0;
  virtual int BorderStyle() const = 0;
  // An ordinal outside bsNone..bsSizeToolWin leaves the border as it is.
  virtual void SetBorderStyle(int ordinal) = 0;
  virtual bool Showing() const = 0;
  virtual void SetShowing(bool showing) = 0;
  // The work areas of the screens, the primary screen's first.
  virtual std::vector<PlaceRect> ScreenAreas() const = 0;
};

class PlacedControl {
 public:
  virtual ~PlacedControl() = default;
  virtual std::string Name() const = 0;
  // The name of the window the control sits in.
  virtual std::string FormName() const = 0;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetLeft(int left) = 0;
  virtual void SetTop(int top) = 0;
  virtual void SetWidth(int width) = 0;
  virtual void SetHeight(int height) = 0;
  virtual int Align() const = 0;
  virtual void SetAlign(int ordinal) = 0;
};

class PlacedListView : public PlacedControl {
 public:
  virtual int ColumnCount() const = 0;
  virtual int ColumnWidth(int column) const = 0;
  virtual void SetColumnWidth(int column, int width) = 0;
  virtual void SetColumnAutoSize(int column, bool automatic) = 0;
};

}  // namespace zephron::ui
