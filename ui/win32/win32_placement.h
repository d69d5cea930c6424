// The position helpers' window (ui/placement.h) on a Win32 top-level window:
// the normal rectangle and the maximized state of its placement
// (GetWindowPlacement / SetWindowPlacement), the border style read from and
// written to its window styles, and the work areas of the monitors.
#pragma once

#include <windows.h>

#include <string>

#include "ui/placement.h"

namespace zephron::ui::win32 {

class Win32PlacedWindow : public PlacedWindow {
 public:
  // name: the window's form name, the element it is kept in.
  Win32PlacedWindow(HWND window, std::string name) : window_(window), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  // The frame's rectangle in screen coordinates.
  PlaceRect NormalRect() const override;
  void SetNormalRect(const PlaceRect& rect) override;
  bool Maximized() const override;
  void Maximize() override;
  int BorderStyle() const override;
  void SetBorderStyle(int ordinal) override;
  bool Showing() const override;
  // Showing a window that Maximize marked while hidden shows it maximized.
  void SetShowing(bool showing) override;
  std::vector<PlaceRect> ScreenAreas() const override;

 private:
  HWND window_;
  std::string name_;
  bool maximizeOnShow_ = false;
};

}  // namespace zephron::ui::win32
