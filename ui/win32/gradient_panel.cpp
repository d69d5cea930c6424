#include "ui/win32/gradient_panel.h"

#include <string>

namespace zephron::ui::win32 {
namespace {
constexpr wchar_t kClassName[] = L"ZephronGradientPanel";

void RegisterOnce(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}

COLOR16 Channel(std::uint32_t color, int shift) { return static_cast<COLOR16>(((color >> shift) & 0xFF) << 8); }

TRIVERTEX Vertex(LONG x, LONG y, std::uint32_t color) {
  return TRIVERTEX{x, y, Channel(color, 0), Channel(color, 8), Channel(color, 16), 0};
}

void Line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}
}  // namespace

GradientPanel::GradientPanel(HWND parent, int id, int left, int top, int width, int height, HFONT font)
    : font_(font) {
  RegisterOnce(&GradientPanel::Procedure);
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, left, top, width, height, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
}

GradientPanel::~GradientPanel() {
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void GradientPanel::SetColors(std::uint32_t first, std::uint32_t second) {
  first_ = first;
  second_ = second;
  InvalidateRect(window_, nullptr, FALSE);
}

void GradientPanel::Paint(HDC dc) const {
  RECT client{};
  GetClientRect(window_, &client);
  const int width = client.right;
  const int height = client.bottom;
  TRIVERTEX vertices[2] = {Vertex(0, 0, first_), Vertex(width, height, second_)};
  GRADIENT_RECT area{0, 1};
  GradientFill(dc, vertices, 2, &area, 1, GRADIENT_FILL_RECT_H);

  // Lowered bevel: dark on top and left, light on bottom and right.
  HPEN dark = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  HPEN light = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(dc, dark);
  for (int i = 0; i < border_; ++i) {
    const int right = width - 1 - i;
    const int bottom = height - 1 - i;
    SelectObject(dc, dark);
    Line(dc, i, i, right + 1, i);
    Line(dc, i, i, i, bottom + 1);
    SelectObject(dc, light);
    Line(dc, i, bottom, right + 1, bottom);
    Line(dc, right, i, right, bottom + 1);
  }
  SelectObject(dc, old);
  DeleteObject(dark);
  DeleteObject(light);

  const int length = GetWindowTextLengthW(window_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window_, text.data(), length + 1)));
  // A little air between the bevel and the text, as the framework's panels have.
  RECT label{border_ + 4, border_, width - border_ - 2, height - border_};
  HGDIOBJ oldFont = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &label,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, oldFont);
}

LRESULT CALLBACK GradientPanel::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* panel = reinterpret_cast<GradientPanel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the gradient covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (panel) panel->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      if (panel) panel->Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace zephron::ui::win32
