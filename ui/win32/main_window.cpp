#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <exception>
#include <string>

#include "ui/win32/win32_form.h"

namespace zephron::ui::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ZephronMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Panels top to bottom on screen, with the catalogue row each one shows.
struct PanelPlace {
  int row;
  int top;
  int height;
};
constexpr PanelPlace kPanels[] = {{2, 23, 26}, {0, 56, 25}, {1, 88, 25}, {3, 120, 25}, {4, 152, 25}};

// The buttons keep their sizes; a caption that would be clipped in the
// enlarged font gets a slightly smaller one instead.
HFONT ButtonFont(HFONT font, const std::wstring& caption, int width) {
  double points = PointSize(font);
  HFONT fitted = font;
  while (points > 6 && TextWidth(fitted, caption) > width - 14) {
    points -= 0.5;
    if (fitted != font) DeleteObject(fitted);
    fitted = FontOfPoints(font, points);
  }
  return fitted;
}

void RegisterOnce(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}

HWND MakeChild(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int id, int left,
               int top, int width, int height, HFONT font) {
  HWND child = CreateWindowExW(0, className, text.c_str(), style | WS_CHILD, left, top, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace

Win32MainWindow::Win32MainWindow() {
  InitControls();
  RegisterOnce(&Win32MainWindow::Procedure);
  font_ = ScaledFont(2);
  window_ = CreateWindowExW(kExStyle, kClassName, L"Corvexis Zephron", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                            nullptr, nullptr, GetModuleHandleW(nullptr), this);
  SetClientSize(window_, kClientWidth, kClientHeight);
  // A fixed window: no maximise, no size entries in the system menu.
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
  }

  for (const PanelPlace& place : kPanels) {
    panels_[static_cast<std::size_t>(place.row)] =
        std::make_unique<GradientPanel>(window_, kPanelId + place.row, 31, place.top, 500, place.height, font_);
  }

  const struct {
    int id;
    const wchar_t* caption;
    int left;
    int width;
  } buttons[] = {{kCheckId, L"Check for updates", 216, 113},
                 {kGetUpdatesId, L"Get updates", 336, 97},
                 {kCloseId, L"&Close", 440, 89}};
  for (const auto& button : buttons) {
    HFONT fitted = ButtonFont(font_, button.caption, button.width);
    if (fitted != font_) buttonFonts_.push_back(fitted);
    MakeChild(window_, WC_BUTTONW, button.caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, button.id, button.left,
              223, button.width, 28, fitted);
  }
  EnableWindow(Control(kGetUpdatesId), FALSE);

  MakeChild(window_, STATUSCLASSNAMEW, L"", WS_VISIBLE | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, kStatusId,
            0, 263, kClientWidth, 19, font_);
  HWND bar = MakeChild(window_, PROGRESS_CLASSW, L"", 0, kProgressId, 0, kClientHeight - 16, kClientWidth, 16, font_);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  CentreOnWorkArea(window_);
}

Win32MainWindow::~Win32MainWindow() {
  for (auto& panel : panels_) panel.reset();
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  for (HFONT font : buttonFonts_) DeleteObject(font);
  if (font_ != DialogFont()) DeleteObject(font_);
}

void Win32MainWindow::Show() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

GradientPanel* Win32MainWindow::Panel(int row) const {
  if (row < 0 || row >= static_cast<int>(panels_.size())) return nullptr;
  return panels_[static_cast<std::size_t>(row)].get();
}

void Win32MainWindow::SetCaption(const std::string& caption) { SetWindowTextW(window_, WideText(caption).c_str()); }

void Win32MainWindow::SetStatusText(const std::string& text) {
  HWND status = Control(kStatusId);
  SetWindowTextW(status, WideText(text).c_str());
  // The pass runs without returning to the message loop; show the text now.
  UpdateWindow(status);
}

void Win32MainWindow::SetCheckEnabled(bool enabled) { EnableWindow(Control(kCheckId), enabled); }
void Win32MainWindow::SetGetUpdatesEnabled(bool enabled) { EnableWindow(Control(kGetUpdatesId), enabled); }

void Win32MainWindow::SetBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32MainWindow::SetProgressVisible(bool visible) {
  ShowWindow(Control(kProgressId), visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32MainWindow::ProgressVisible() const {
  return (GetWindowLongPtrW(Control(kProgressId), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32MainWindow::SetProgressPosition(int position) {
  HWND bar = Control(kProgressId);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  UpdateWindow(bar);
}

void Win32MainWindow::ShowProductRow(int row, const ProductRow& display) {
  GradientPanel* panel = Panel(row);
  if (!panel) return;
  SetWindowTextW(panel->Handle(), WideText(display.label).c_str());
  panel->SetColors(display.firstColor, display.secondColor);
}

int Win32MainWindow::Ask(const std::string& text, UINT buttons, const wchar_t* icon) {
  return SoundedMessageBox(window_, MessageText(text), WideText(ApplicationTitle()), buttons, icon,
                           MB_ICONEXCLAMATION);
}

void Win32MainWindow::ShowInfo(const std::string& text) { Ask(text, MB_OK, nullptr); }

bool Win32MainWindow::AskYesNo(const std::string& text) {
  return Ask(text, MB_YESNO | MB_DEFBUTTON1, IDI_INFORMATION) == IDYES;
}

bool Win32MainWindow::WarnRetryCancel(const std::string& text) {
  return Ask(text, MB_RETRYCANCEL, IDI_WARNING) == IDRETRY;
}

void Win32MainWindow::ProcessMessages() { PumpMessages(); }

void Win32MainWindow::Close() { SendMessageW(window_, WM_CLOSE, 0, 0); }

void Win32MainWindow::RunHandler(const std::function<void()>& handler) {
  if (!handler) return;
  std::string failure;
  std::exception_ptr error;
  // Nothing may leave a window procedure: an exception through the system's
  // dispatching ends the program, and one that leaves a pass half-way would
  // keep the buttons disabled and the busy cursor up.
  try {
    handler();
    return;
  } catch (const std::exception& caught) {
    failure = caught.what();
    error = std::current_exception();
  } catch (...) {
    failure = "Unexpected error";
    error = std::current_exception();
  }
  SetBusyCursor(false);
  SetCheckEnabled(true);
  SetProgressVisible(false);
  SetStatusText(failure);
  if (onFailure) {
    onFailure(error);
  } else {
    ShowInfo(failure);
  }
}

LRESULT Win32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case kCheckId:
          RunHandler(onCheck);
          return 0;
        case kGetUpdatesId:
          RunHandler(onGetUpdates);
          return 0;
        case kCloseId:
          if (onClose) {
            RunHandler(onClose);
          } else {
            Close();
          }
          return 0;
        default:
          break;
      }
      break;
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      ShowWindow(window_, SW_HIDE);
      if (quitOnClose) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Win32MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<Win32MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

}  // namespace zephron::ui::win32
