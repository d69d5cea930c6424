// Dialogs of the headless front end: a message box is printed to standard
// error; a question or a login prompt is asked on the terminal when there is
// one, otherwise it gets the default answer (No, Cancel, login refused). The
// progress window prints the file label whenever it changes.
#pragma once

#include <cstdio>

#include "ui/dialogs.h"

namespace zephron::ui {

class ConsoleDialogs : public Dialogs {
 public:
  explicit ConsoleDialogs(std::FILE* out = stderr, std::FILE* in = stdin) : out_(out), in_(in) {}
  DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                          const std::string& caption = {}) override;
  bool LoginDialog(const std::string& caption, std::string& user, std::string& password) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow() override;

 private:
  std::FILE* out_;
  std::FILE* in_;
};

}  // namespace zephron::ui
