// The dialogs that the engine and the updater open: message boxes with their
// sounds, and the hook that lets the window process pending messages during
// long work. A host installs the implementation it wants: the Qt windows, the
// console one of the headless front end, or the scripted one of the tests.
#pragma once

#include <string>

namespace zephron::ui {

enum class MessageKind { Information, Warning, Error, Confirmation };
enum class MessageButtons { Ok, YesNo, RetryCancel };
enum class DialogResult { Ok, Cancel, Yes, No, Retry };

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box; caption is the application title when empty.
  virtual DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                  const std::string& caption = {}) = 0;

  // "Let the application process pending window messages" between blocks of work.
  virtual void ProcessMessages() {}
};

// The answer a dialog gives when nobody can be asked: OK, No or Cancel.
DialogResult DefaultAnswer(MessageButtons buttons);

}  // namespace zephron::ui
