// The groundwork of the Win32 windows: UTF-8 texts for the wide calls, the
// dialog font, centring on the work area, and Form, a dialog built at run
// time from an empty template whose controls are placed in client pixels
// (as the Qt forms place theirs), run modally or shown modeless. The dialog
// manager gives every form Tab, Enter (the default button) and Escape.
#pragma once

#include <windows.h>
// ui::Dialogs names its method MessageBox: every file must read that name,
// not the system's macro for MessageBoxW.
#undef MessageBox

#include <string>

namespace zephron::ui::win32 {

std::wstring WideText(const std::string& text);
std::string Utf8Text(const std::wstring& text);
// A message text for the system's boxes: CR LF and a lone CR (as the updater
// breaks lines) become LF.
std::wstring MessageText(const std::string& text);
// The window text of any window, as UTF-8.
std::string WindowText(HWND window);

// The caption of the updater's message boxes; "Corvexis Zephron" until the program sets its title.
std::string ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// The desktop's message font, made once and never released.
HFONT DialogFont();
double PointSize(HFONT font);
// A new font (the caller releases it) of like's face at the size; like itself when none could be made.
HFONT FontOfPoints(HFONT like, double points, bool bold = false);
// The dialog font larger by the given points, as FontOfPoints makes it.
HFONT ScaledFont(double extraPoints);

// The width of the text in the font, in pixels.
int TextWidth(HFONT font, const std::wstring& text);

// Moves the window so that its frame is centred on the primary work area.
void CentreOnWorkArea(HWND window);
// Gives the window this client size, its frame around it.
void SetClientSize(HWND window, int width, int height);
// The control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND control);

// Common controls and the RichEdit library, loaded once.
void InitControls();

// A message box that plays the given MessageBeep sound as it opens, and no
// other: a standard icon is shown as a user icon, which the system shows
// silently. icon: an IDI_ resource of the system, or null for none.
int SoundedMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT buttons,
                      const wchar_t* icon, UINT sound);

// Runs pending messages of this thread; a WM_QUIT seen is posted again.
void PumpMessages();

class Form {
 public:
  Form(std::wstring caption, DWORD style, int clientWidth, int clientHeight)
      : caption_(std::move(caption)), style_(style), width_(clientWidth), height_(clientHeight) {}
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Modal: the id the form ended with (IDCANCEL for the close box and Escape).
  INT_PTR RunModal(HWND owner);
  // Modeless and hidden; destroyed with the form.
  HWND Create(HWND owner);
  HWND Handle() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

 protected:
  // Creates the controls (the client size is set and the form centred before).
  virtual void Build() = 0;
  // A command of a control; true when handled. IDCANCEL ends a modal form unless handled.
  virtual bool Command(int id, int code) {
    (void)id;
    (void)code;
    return false;
  }
  // Any other message; true with result set when handled.
  virtual bool Message(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    (void)message;
    (void)wParam;
    (void)lParam;
    (void)result;
    return false;
  }
  HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int id, int left, int top,
                  int width, int height, DWORD exStyle = 0, HFONT font = nullptr);
  void End(INT_PTR result);

  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::wstring caption_;
  DWORD style_;
  int width_;
  int height_;
  bool modal_ = false;
};

}  // namespace zephron::ui::win32
