#include "ui/win32/win32_dialogs.h"

#include <commctrl.h>
#include <objbase.h>
#include <richedit.h>
#include <urlmon.h>

#include <algorithm>
#include <string_view>

#include "platform/process.h"
#include "platform/win32_text.h"

namespace zephron::ui::win32 {
namespace {

// Dialog border with the system menu (close box) only.
constexpr DWORD kClosableForm = WS_CAPTION | WS_SYSMENU;
// Dialog border without any border icons.
constexpr DWORD kFixedForm = WS_CAPTION;
constexpr int kTextFormSize = 400;

// The banner across the top of the login form, drawn rather than shipped as a bitmap.
void PaintBanner(HDC dc, int width) {
  TRIVERTEX vertices[2] = {{0, 0, 0x0000, 0x2000, 0x6000, 0}, {width, 60, 0x4000, 0xA000, 0xE000, 0}};
  GRADIENT_RECT area{0, 1};
  GradientFill(dc, vertices, 2, &area, 1, GRADIENT_FILL_RECT_H);
  static HFONT title = FontOfPoints(DialogFont(), PointSize(DialogFont()) + 6, true);
  HGDIOBJ old = SelectObject(dc, title);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT text{16, 0, width - 16, 60};
  DrawTextW(dc, L"Corvexis Zephron", -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

class LoginForm : public Form {
 public:
  static constexpr int kClientWidth = 320;
  static constexpr int kClientHeight = 189;
  explicit LoginForm(const std::string& caption) : Form(WideText(caption), kClosableForm, kClientWidth, kClientHeight) {}

  std::string user;
  std::string password;

 protected:
  void Build() override {
    AddControl(WC_STATICW, L"&User name: ", SS_LEFT, kUserLabel, 16, 82, 84, 17);
    HWND name = AddControl(WC_EDITW, L"", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, kUserEdit, 104, 80, 193, 21,
                           WS_EX_CLIENTEDGE);
    AddControl(WC_STATICW, L"&Password:", SS_LEFT, kPasswordLabel, 16, 114, 84, 17);
    HWND secret = AddControl(WC_EDITW, L"", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | ES_PASSWORD, kPasswordEdit, 104,
                             112, 193, 21, WS_EX_CLIENTEDGE);
    SendMessageW(secret, EM_SETPASSWORDCHAR, L'*', 0);
    AddControl(WC_BUTTONW, L"OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, IDOK, 144, 152, 75, 25);
    AddControl(WC_BUTTONW, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 224, 152, 75, 25);
    SetFocus(name);
  }
  bool Command(int id, int) override {
    if (id != IDOK) return false;
    user = WindowText(Item(kUserEdit));
    password = WindowText(Item(kPasswordEdit));
    End(IDOK);
    return true;
  }
  bool Message(UINT message, WPARAM wParam, LPARAM, INT_PTR&) override {
    if (message == WM_PAINT) {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      PaintBanner(dc, kClientWidth);
      EndPaint(hwnd_, &paint);
      return true;
    }
    if (message == WM_PRINTCLIENT) {
      PaintBanner(reinterpret_cast<HDC>(wParam), kClientWidth);
      return true;
    }
    return false;
  }
};

// Reads the text into the RichEdit control in the given format.
struct StreamSource {
  std::string_view bytes;
  std::size_t offset = 0;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(wanted), source->bytes.size() - source->offset);
  std::copy_n(source->bytes.data() + source->offset, count, buffer);
  source->offset += count;
  *given = static_cast<LONG>(count);
  return 0;
}

// The read-only, word-wrapping text at (10, 10), 20 narrower and 60 lower
// than the form, its vertical scroll bar always shown; RTF shown as RTF.
void MakeText(HWND window, const DialogText& text) {
  HWND view = CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                  ES_DISABLENOSCROLL | ES_AUTOVSCROLL,
                              10, 10, kTextFormSize - 20, kTextFormSize - 60, window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kText)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  SendMessageW(view, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  if (text.rich) {
    StreamSource source{text.bytes};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, &ReadStream};
    SendMessageW(view, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  } else {
    // As UTF-16 text: a plain text that happens to start like RTF stays plain.
    const std::wstring wide = WideText(text.bytes);
    StreamSource source{std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t))};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, &ReadStream};
    SendMessageW(view, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
  }
  SendMessageW(view, EM_SETSEL, 0, 0);
}

constexpr int kButtonTop = 10 + (kTextFormSize - 60) + 10;
constexpr int kTextRight = 10 + (kTextFormSize - 20);

class WhatsNewForm : public Form {
 public:
  explicit WhatsNewForm(const WhatsNewDialogSpec& content)
      : Form(WideText(content.caption), kClosableForm, kTextFormSize, kTextFormSize), content_(content) {}

 protected:
  void Build() override {
    MakeText(hwnd_, content_.text);
    HWND ok = AddControl(WC_BUTTONW, WideText(content_.okButton), WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, IDOK,
                         kTextRight - 2 * 75 - 10, kButtonTop, 75, 25);
    AddControl(WC_BUTTONW, WideText(content_.cancelButton), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, kTextRight - 75,
               kButtonTop, 75, 25);
    SetFocus(ok);
  }
  bool Command(int id, int) override {
    if (id != IDOK) return false;
    End(IDOK);
    return true;
  }

 private:
  const WhatsNewDialogSpec& content_;
};

class AgreementForm : public Form {
 public:
  explicit AgreementForm(const AgreementDialogSpec& content)
      : Form(WideText(content.caption), kClosableForm, kTextFormSize, kTextFormSize), content_(content) {}
  bool accepted = false;

 protected:
  void Build() override {
    MakeText(hwnd_, content_.text);
    HWND close = AddControl(WC_BUTTONW, WideText(content_.closeButton), WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, IDOK,
                            kTextRight - 75, kButtonTop, 75, 25);
    // Each choice as wide as its text and the round box.
    const int box = GetSystemMetrics(SM_CXMENUCHECK) + 6;
    const std::wstring accept = WideText(content_.accept);
    const int acceptWidth = TextWidth(DialogFont(), accept) + box;
    AddControl(WC_BUTTONW, accept, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kAcceptChoice, 10, kButtonTop,
               acceptWidth, 20);
    const std::wstring notAccept = WideText(content_.notAccept);
    AddControl(WC_BUTTONW, notAccept, BS_AUTORADIOBUTTON, kNotAcceptChoice, acceptWidth + 20, kButtonTop,
               TextWidth(DialogFont(), notAccept) + box, 20);
    CheckRadioButton(hwnd_, kAcceptChoice, kNotAcceptChoice, kNotAcceptChoice);
    SetFocus(close);
  }
  bool Command(int id, int) override {
    if (id != IDOK && id != IDCANCEL) return false;
    // However it closes, the choice selected then is the answer.
    accepted = IsDlgButtonChecked(hwnd_, kAcceptChoice) == BST_CHECKED;
    End(id);
    return true;
  }

 private:
  const AgreementDialogSpec& content_;
};

// 300 x 170, centred, captioned, no border icons: a busy bar at (10, 10)
// and the message 8 pixels below it.
class AnimationForm : public Form, public AnimationWindow {
 public:
  AnimationForm(const std::string& caption, const std::string& message)
      : Form(WideText(caption), kFixedForm, 300, 170), message_(WideText(message)) {
    Create(nullptr);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    PumpMessages();
  }

 protected:
  void Build() override {
    HWND busy = AddControl(PROGRESS_CLASSW, L"", PBS_MARQUEE, kBusyBar, 10, 10, 280, 24);
    SendMessageW(busy, PBM_SETMARQUEE, TRUE, 30);
    AddControl(WC_STATICW, message_, SS_LEFT, kStatusMessage, 10, 10 + 24 + 8, 280, 170 - 24 - 10 - 18 + 1);
  }
  bool Command(int id, int) override { return id == IDCANCEL; }  // Escape does not close it

 private:
  std::wstring message_;
};

}  // namespace

ProgressForm::ProgressForm() : Form(L"Downloading...", kFixedForm, kWidth, kHeight) {}

void ProgressForm::Build() {
  AddControl(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kFileLabel, 10, 10, kWidth - 20, 20);
  HWND bar = AddControl(PROGRESS_CLASSW, L"", 0, kProgressBar, 10, 40,
                        kWidth - 2 * GetSystemMetrics(SM_CXEDGE) - 20, 17);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
}

Win32ProgressWindow::Win32ProgressWindow(HWND owner) { form_.Create(owner); }

void Win32ProgressWindow::Show() {
  ShowWindow(form_.Handle(), SW_SHOWNORMAL);
  UpdateWindow(form_.Handle());
}

void Win32ProgressWindow::Hide() { ShowWindow(form_.Handle(), SW_HIDE); }

void Win32ProgressWindow::SetRange(int min, int max) {
  // A file without a known size reports 0..0; keep the bar valid.
  SendMessageW(form_.Item(kProgressBar), PBM_SETRANGE32, static_cast<WPARAM>(min),
               static_cast<LPARAM>(max < min ? min : max));
}

void Win32ProgressWindow::SetPosition(int pos) {
  HWND bar = form_.Item(kProgressBar);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  UpdateWindow(bar);
}

void Win32ProgressWindow::SetLabel(const std::string& text) {
  HWND label = form_.Item(kFileLabel);
  SetWindowTextW(label, WideText(text).c_str());
  if (IsWindowVisible(form_.Handle())) UpdateWindow(label);
}

UINT MessageSound(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error:
      return MB_ICONHAND;
    case MessageKind::Warning:
      return MB_ICONEXCLAMATION;
    case MessageKind::Confirmation:
      return MB_ICONQUESTION;
    case MessageKind::Information:
      break;
  }
  return MB_ICONASTERISK;
}

DialogResult Win32Dialogs::MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                      const std::string& caption) {
  const wchar_t* icon = kind == MessageKind::Error          ? IDI_ERROR
                        : kind == MessageKind::Warning      ? IDI_WARNING
                        : kind == MessageKind::Confirmation ? IDI_QUESTION
                                                            : IDI_INFORMATION;
  const UINT shown = buttons == MessageButtons::YesNo         ? MB_YESNO
                     : buttons == MessageButtons::RetryCancel ? MB_RETRYCANCEL
                                                              : MB_OK;
  const int answer = SoundedMessageBox(owner_, MessageText(text), WideText(caption.empty() ? ApplicationTitle() : caption),
                                       shown, icon, MessageSound(kind));
  switch (answer) {
    case IDOK:
      return DialogResult::Ok;
    case IDYES:
      return DialogResult::Yes;
    case IDNO:
      return DialogResult::No;
    case IDRETRY:
      return DialogResult::Retry;
    case IDCANCEL:
      return DialogResult::Cancel;
    default:
      return DefaultAnswer(buttons);
  }
}

bool Win32Dialogs::LoginDialog(const std::string& caption, std::string& user, std::string& password) {
  LoginForm form(caption);
  if (form.RunModal(owner_) != IDOK) return false;
  user = form.user;
  password = form.password;
  return true;
}

std::unique_ptr<ProgressWindow> Win32Dialogs::CreateProgressWindow() {
  return std::make_unique<Win32ProgressWindow>(owner_);
}

std::unique_ptr<AnimationWindow> Win32Dialogs::ShowAnimation(const std::string& caption, const std::string& message) {
  return std::make_unique<AnimationForm>(caption, message);
}

bool Win32Dialogs::WhatsNewDialog(const WhatsNewDialogSpec& content) {
  WhatsNewForm form(content);
  // The close box refuses, as the refusing button does.
  return form.RunModal(owner_) == IDOK;
}

bool Win32Dialogs::AgreementDialog(const AgreementDialogSpec& content) {
  AgreementForm form(content);
  form.RunModal(owner_);
  return form.accepted;
}

namespace {
using ShowHtmlDialogFunction = HRESULT(WINAPI*)(HWND, IMoniker*, VARIANT*, LPWSTR, VARIANT*);

// The page in MSHTML's modal dialog; false when the system has none or it failed.
bool ShowHtmlPage(HWND owner, const std::string& page) {
  HMODULE mshtml = LoadLibraryW(L"mshtml.dll");
  if (!mshtml) return false;
  auto show = reinterpret_cast<ShowHtmlDialogFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(mshtml, "ShowHTMLDialog")));
  bool shown = false;
  if (show) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMoniker* moniker = nullptr;
    const std::wstring url = L"file:///" + platform::win32::WidePath(page);
    if (SUCCEEDED(CreateURLMonikerEx(nullptr, url.c_str(), &moniker, URL_MK_UNIFORM))) {
      wchar_t options[] = L"dialogWidth:640px;dialogHeight:480px;resizable:yes";
      shown = SUCCEEDED(show(owner, moniker, nullptr, options, nullptr));
      moniker->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
  }
  FreeLibrary(mshtml);
  return shown;
}
}  // namespace

void Win32Dialogs::HtmlDialog(const std::string& page) {
  if (!ShowHtmlPage(owner_, page)) platform::OpenDocument(page);
}

void Win32Dialogs::ProcessMessages() { PumpMessages(); }

}  // namespace zephron::ui::win32
