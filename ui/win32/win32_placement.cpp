#include "ui/win32/win32_placement.h"

namespace zephron::ui::win32 {
namespace {

constexpr LONG_PTR kFrameStyles = WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_SYSMENU |
                                  WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_POPUP;
constexpr LONG_PTR kFrameExStyles = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;

PlaceRect ToPlace(const RECT& r) { return PlaceRect{r.left, r.top, r.right, r.bottom}; }

// A placement's rectangle is in workspace coordinates (the work area's
// corner at 0,0) unless the window is a tool window; this is the offset
// from them to screen coordinates on the window's monitor.
POINT WorkspaceOffset(HWND window) {
  POINT offset{0, 0};
  if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) return offset;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) {
    offset.x = info.rcWork.left - info.rcMonitor.left;
    offset.y = info.rcWork.top - info.rcMonitor.top;
  }
  return offset;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto* areas = reinterpret_cast<std::vector<PlaceRect>*>(data);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
    areas->insert(areas->begin(), ToPlace(info.rcWork));
  } else {
    areas->push_back(ToPlace(info.rcWork));
  }
  return TRUE;
}

}  // namespace

PlaceRect Win32PlacedWindow::NormalRect() const {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(window_, &placement)) return {};
  const POINT offset = WorkspaceOffset(window_);
  const RECT& r = placement.rcNormalPosition;
  return PlaceRect{r.left + offset.x, r.top + offset.y, r.right + offset.x, r.bottom + offset.y};
}

void Win32PlacedWindow::SetNormalRect(const PlaceRect& rect) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(window_, &placement)) return;
  const POINT offset = WorkspaceOffset(window_);
  placement.rcNormalPosition = RECT{rect.left - offset.x, rect.top - offset.y, rect.right - offset.x,
                                    rect.bottom - offset.y};
  placement.flags = 0;
  // A hidden window's placement says "shown normally"; setting it back as
  // it came would show the window.
  if (!IsWindowVisible(window_)) placement.showCmd = SW_HIDE;
  SetWindowPlacement(window_, &placement);
}

bool Win32PlacedWindow::Maximized() const {
  return IsWindowVisible(window_) ? IsZoomed(window_) != FALSE : maximizeOnShow_;
}

void Win32PlacedWindow::Maximize() {
  if (IsWindowVisible(window_)) {
    ShowWindow(window_, SW_MAXIMIZE);
  } else {
    maximizeOnShow_ = true;
  }
}

int Win32PlacedWindow::BorderStyle() const {
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  const bool sizeable = (style & WS_THICKFRAME) != 0;
  if ((style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) == 0) return bsNone;
  if ((exStyle & WS_EX_TOOLWINDOW) != 0) return sizeable ? bsSizeToolWin : bsToolWindow;
  if (sizeable) return bsSizeable;
  if ((exStyle & WS_EX_DLGMODALFRAME) != 0) return bsDialog;
  return bsSingle;
}

void Win32PlacedWindow::SetBorderStyle(int ordinal) {
  if (ordinal < bsNone || ordinal > bsSizeToolWin || ordinal == BorderStyle()) return;
  LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE) & ~kFrameStyles;
  LONG_PTR exStyle = GetWindowLongPtrW(window_, GWL_EXSTYLE) & ~kFrameExStyles;
  switch (ordinal) {
    case bsNone: style |= WS_POPUP; break;
    case bsSingle: style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case bsSizeable: style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case bsDialog:
      style |= WS_CAPTION | WS_SYSMENU;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      style |= WS_CAPTION | WS_SYSMENU;
      exStyle |= WS_EX_TOOLWINDOW;
      break;
    default:
      style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
      exStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  SetWindowLongPtrW(window_, GWL_STYLE, style);
  SetWindowLongPtrW(window_, GWL_EXSTYLE, exStyle);
  SetWindowPos(window_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32PlacedWindow::Showing() const { return IsWindowVisible(window_) != FALSE; }

void Win32PlacedWindow::SetShowing(bool showing) {
  if (!showing) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  ShowWindow(window_, maximizeOnShow_ ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  maximizeOnShow_ = false;
  UpdateWindow(window_);
}

std::vector<PlaceRect> Win32PlacedWindow::ScreenAreas() const {
  std::vector<PlaceRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&areas));
  if (areas.empty()) {
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) areas.push_back(ToPlace(work));
  }
  return areas;
}

}  // namespace zephron::ui::win32
