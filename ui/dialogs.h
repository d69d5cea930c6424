// The dialogs that the engine and the updater open: message boxes with their
// sounds, the login prompt, the download progress window, the busy window of
// a program the engine waits for, the what's-new, agreement and HTML page
// dialogs, and the hook that lets the window process pending messages during
// long work. A host installs the implementation it wants: the Qt windows, the
// console one of the headless front end, or the scripted one of the tests.
#pragma once

#include <memory>
#include <string>

namespace zephron::ui {

enum class MessageKind { Information, Warning, Error, Confirmation };
enum class MessageButtons { Ok, YesNo, RetryCancel };
enum class DialogResult { Ok, Cancel, Yes, No, Retry };

// The engine's download progress window ("Downloading..."): a label with the
// file being fetched and a bar.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetRange(int min, int max) = 0;
  virtual void SetPosition(int pos) = 0;
  virtual void SetLabel(const std::string& text) = 0;
};

// The window shown while the engine waits for a program: a busy animation
// and a message. It closes when it is destroyed.
class AnimationWindow {
 public:
  virtual ~AnimationWindow() = default;
};

// A text shown in a dialog: its bytes as downloaded; rich when it is RTF.
struct DialogText {
  std::string bytes;
  bool rich = false;
};

// The what's-new dialog: the text, an accepting and a refusing button.
struct WhatsNewDialogSpec {
  std::string caption;
  DialogText text;
  std::string okButton;
  std::string cancelButton;
};

// The agreement dialog: the text, a close button and two choices of which
// the refusing one is preselected.
struct AgreementDialogSpec {
  std::string caption;
  DialogText text;
  std::string closeButton;
  std::string accept;
  std::string notAccept;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box; caption is the application title when empty.
  virtual DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                  const std::string& caption = {}) = 0;

  // The modal login prompt ("&User name: ", "&Password:", OK, Cancel) with
  // the given caption; its fields start empty. OK: true with the entered
  // values in user and password; any other way of closing it: false, both
  // unchanged. Nobody to ask: false.
  virtual bool LoginDialog(const std::string& caption, std::string& user, std::string& password) {
    (void)caption;
    (void)user;
    (void)password;
    return false;
  }

  // A new, hidden download progress window; none when this front end has no such window.
  virtual std::unique_ptr<ProgressWindow> CreateProgressWindow() { return nullptr; }

  // A shown animation window (300 x 170, centred, the caption, a busy
  // animation and the message below it); none when this front end has none.
  virtual std::unique_ptr<AnimationWindow> ShowAnimation(const std::string& caption, const std::string& message) {
    (void)caption;
    (void)message;
    return nullptr;
  }

  // Modal; true when the accepting button closed it. Nobody to ask: false.
  virtual bool WhatsNewDialog(const WhatsNewDialogSpec& spec) {
    (void)spec;
    return false;
  }
  // Modal; true when the accepting choice was selected as it closed, however
  // it was closed. Nobody to ask: false.
  virtual bool AgreementDialog(const AgreementDialogSpec& spec) {
    (void)spec;
    return false;
  }
  // Modal: shows the local HTML page; links open in the desktop's browser.
  virtual void HtmlDialog(const std::string& page) { (void)page; }

  // "Let the application process pending window messages" between blocks of work.
  virtual void ProcessMessages() {}
};

// The answer a dialog gives when nobody can be asked: OK, No or Cancel.
DialogResult DefaultAnswer(MessageButtons buttons);

}  // namespace zephron::ui
