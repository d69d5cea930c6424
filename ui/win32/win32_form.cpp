#include "ui/win32/win32_form.h"

#include <commctrl.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "platform/win32_text.h"

namespace zephron::ui::win32 {

std::wstring WideText(const std::string& text) { return platform::win32::Wide(text); }
std::string Utf8Text(const std::wstring& text) { return platform::win32::Narrow(text); }

std::wstring MessageText(const std::string& text) {
  std::wstring wide = WideText(text);
  std::wstring result;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\r') {
      if (i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
      result += L'\n';
    } else {
      result += wide[i];
    }
  }
  return result;
}

int TextWidth(HFONT font, const std::wstring& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
  return Utf8Text(text);
}

namespace {
std::string& Title() {
  static std::string title = "Corvexis Zephron";
  return title;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}
}  // namespace

std::string ApplicationTitle() { return Title(); }
void SetApplicationTitle(const std::string& title) { Title() = title; }

HFONT DialogFont() {
  static HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      if (HFONT made = CreateFontIndirectW(&metrics.lfMessageFont)) return made;
    }
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}

double PointSize(HFONT font) {
  LOGFONTW face{};
  GetObjectW(font, sizeof face, &face);
  return std::abs(face.lfHeight) * 72.0 / ScreenDpi();
}

HFONT FontOfPoints(HFONT like, double points, bool bold) {
  LOGFONTW face{};
  GetObjectW(like, sizeof face, &face);
  face.lfHeight = -static_cast<LONG>(std::lround(points * ScreenDpi() / 72.0));
  face.lfWidth = 0;
  if (bold) face.lfWeight = FW_BOLD;
  HFONT made = CreateFontIndirectW(&face);
  return made ? made : like;
}

HFONT ScaledFont(double extraPoints) { return FontOfPoints(DialogFont(), PointSize(DialogFont()) + extraPoints); }

void CentreOnWorkArea(HWND window) {
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return;
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetClientSize(HWND window, int width, int height) {
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT ChildRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void InitControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryW(L"msftedit.dll");
  });
}

int SoundedMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT buttons,
                      const wchar_t* icon, UINT sound) {
  MessageBeep(sound);
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof box;
  box.hwndOwner = owner;
  box.lpszText = text.c_str();
  box.lpszCaption = caption.c_str();
  box.dwStyle = buttons | (icon ? MB_USERICON : 0);
  box.lpszIcon = icon;
  return MessageBoxIndirectW(&box);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageW(active, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

namespace {
// An empty dialog template: the form gets its size and controls in WM_INITDIALOG.
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD windowClass = 0;
  WORD title = 0;
};
}  // namespace

Form::~Form() {
  if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

INT_PTR Form::RunModal(HWND owner) {
  InitControls();
  EmptyTemplate blank{};
  blank.dialog.style = style_ | DS_MODALFRAME | WS_POPUP;
  modal_ = true;
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &blank.dialog, owner, &Form::Procedure,
                                                 reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return result;
}

HWND Form::Create(HWND owner) {
  InitControls();
  EmptyTemplate blank{};
  blank.dialog.style = style_ | DS_MODALFRAME | WS_POPUP;
  modal_ = false;
  CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &blank.dialog, owner, &Form::Procedure,
                             reinterpret_cast<LPARAM>(this));
  return hwnd_;
}

void Form::End(INT_PTR result) {
  if (modal_) {
    EndDialog(hwnd_, result);
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

HWND Form::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int id, int left, int top,
                      int width, int height, DWORD exStyle, HFONT font) {
  HWND control = CreateWindowExW(exStyle, className, text.c_str(), style | WS_CHILD | WS_VISIBLE, left, top, width,
                                 height, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : DialogFont()), FALSE);
  return control;
}

INT_PTR CALLBACK Form::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* form = reinterpret_cast<Form*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    form->hwnd_ = window;
    SetWindowTextW(window, form->caption_.c_str());
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    SetClientSize(window, form->width_, form->height_);
    CentreOnWorkArea(window);
    form->Build();
    return FALSE;  // Build set the focus
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!form) return FALSE;
  if (message == WM_COMMAND) {
    const int id = LOWORD(wParam);
    if (form->Command(id, HIWORD(wParam))) return TRUE;
    if (id == IDCANCEL && form->modal_) {
      EndDialog(window, IDCANCEL);
      return TRUE;
    }
    return FALSE;
  }
  INT_PTR result = 0;
  if (form->Message(message, wParam, lParam, result)) {
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

}  // namespace zephron::ui::win32
