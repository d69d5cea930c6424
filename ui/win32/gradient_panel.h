// The gradient panel of a product row on Win32: a child window painting a
// horizontal blend (GDI GradientFill) from a first to a second colour inside
// a lowered bevel, with its window text on it, left-aligned and centred
// vertically. It paints for WM_PRINTCLIENT too, so it can be rendered into
// a bitmap.
#pragma once

#include <windows.h>

#include <cstdint>

namespace zephron::ui::win32 {

class GradientPanel {
 public:
  // A visible child of parent at the rectangle; the text is drawn in font.
  GradientPanel(HWND parent, int id, int left, int top, int width, int height, HFONT font);
  ~GradientPanel();
  GradientPanel(const GradientPanel&) = delete;
  GradientPanel& operator=(const GradientPanel&) = delete;

  // Colour numbers as the framework's: red in the low byte (a COLORREF).
  void SetColors(std::uint32_t first, std::uint32_t second);
  std::uint32_t FirstColor() const { return first_; }
  std::uint32_t SecondColor() const { return second_; }
  int BorderWidth() const { return border_; }
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc) const;

  HWND window_ = nullptr;
  HFONT font_;
  std::uint32_t first_ = 0xFFFFFF;
  std::uint32_t second_ = 0x00FFFF;
  int border_ = 3;
};

}  // namespace zephron::ui::win32
