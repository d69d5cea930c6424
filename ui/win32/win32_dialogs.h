// The engine's dialogs on Win32: message boxes with the sound of their kind,
// the login form, the download progress window, the what's-new and
// agreement forms (a RichEdit shows the text, RTF as RTF), the HTML page
// dialog (MSHTML's when the system has it, else the page goes to the
// browser) and the busy window shown while the engine waits for a program.
// Each form is a Form (win32_form.h) with the sizes and places of the Qt forms.
#pragma once

#include <windows.h>
// ui::Dialogs names its method MessageBox: every file must read that name,
// not the system's macro for MessageBoxW.
#undef MessageBox

#include <memory>

#include "ui/dialogs.h"
#include "ui/win32/win32_form.h"

namespace zephron::ui::win32 {

// Control ids of the forms, for the program and its tests.
enum : int {
  kUserEdit = 201,
  kPasswordEdit = 202,
  kUserLabel = 203,
  kPasswordLabel = 204,
  kBanner = 205,
  kFileLabel = 211,
  kProgressBar = 212,
  kText = 221,
  kAcceptChoice = 222,
  kNotAcceptChoice = 223,
  kBusyBar = 231,
  kStatusMessage = 232,
};

// The "Downloading..." window: the file's name and a bar, 300 x 110, centred.
class ProgressForm : public Form {
 public:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 110;
  ProgressForm();

 protected:
  void Build() override;
};

class Win32ProgressWindow : public ProgressWindow {
 public:
  explicit Win32ProgressWindow(HWND owner);
  void Show() override;
  void Hide() override;
  void SetRange(int min, int max) override;
  void SetPosition(int pos) override;
  void SetLabel(const std::string& text) override;
  HWND Handle() const { return form_.Handle(); }

 private:
  ProgressForm form_;
};

class Win32Dialogs : public Dialogs {
 public:
  // owner: the window that owns the dialogs (may be null).
  explicit Win32Dialogs(HWND owner = nullptr) : owner_(owner) {}

  DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                          const std::string& caption = {}) override;
  bool LoginDialog(const std::string& caption, std::string& user, std::string& password) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow() override;
  std::unique_ptr<AnimationWindow> ShowAnimation(const std::string& caption, const std::string& message) override;
  bool WhatsNewDialog(const WhatsNewDialogSpec& content) override;
  bool AgreementDialog(const AgreementDialogSpec& content) override;
  void HtmlDialog(const std::string& page) override;
  void ProcessMessages() override;

 private:
  HWND owner_;
};

// The sound a message box of this kind is shown with (a MessageBeep type).
UINT MessageSound(MessageKind kind);

}  // namespace zephron::ui::win32
