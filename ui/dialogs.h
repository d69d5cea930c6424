// The dialogs that the engine and the updater open: message boxes with their
// sounds, the login prompt, the download progress window, and the hook that
// lets the window process pending messages during long work. A host installs the implementation it wants: the Qt windows, the
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

  // "Let the application process pending window messages" between blocks of work.
  virtual void ProcessMessages() {}
};

// The answer a dialog gives when nobody can be asked: OK, No or Cancel.
DialogResult DefaultAnswer(MessageButtons buttons);

}  // namespace zephron::ui
